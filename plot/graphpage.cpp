// Frames of the graph command's page.
#include "graphpage.h"

#include "graphdraw.h"
#include "plcoord.h"

namespace velk {

namespace {

void drawframebox(plotcontext* pc) {
  plot(pc, 3, 0.0, 0.0);
  plot(pc, 2, pc->xl, 0.0);
  plot(pc, 2, pc->xl, pc->yl);
  plot(pc, 2, 0.0, pc->yl);
  plot(pc, 2, 0.0, 0.0);
}

}  // namespace

void drawgraphframe(plotcontext* pc, std::FILE* fp, const graphframe& f) {
  resetgraphsettings(pc);
  pc->org = {f.x, f.y};
  pc->xl = f.width;
  pc->yl = f.height;
  pc->h = f.charheight;
  pc->w = f.charwidth;
  pc->type = f.type;
  pc->xclip0 = pc->yclip0 = 0.0;
  pc->xclip1 = pc->xl;
  pc->yclip1 = pc->yl;
  if (pc->type > 0) drawframebox(pc);
  graph(pc, fp);
}

}  // namespace velk
