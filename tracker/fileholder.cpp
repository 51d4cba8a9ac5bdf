#include "fileholder.h"

namespace velk {

fileresource::fileresource(const std::string& filename, const std::string& mode)
    : filename_(filename), mode_(mode), fp_(nullptr) {}

fileresource::~fileresource() {
  if (fp_ != nullptr) fclose(fp_);
}

int fileresource::get() {
  if (fp_ != nullptr) fclose(fp_);
  fp_ = fopen(filename_.c_str(), mode_.c_str());
  return fp_ != nullptr ? 0 : -1;
}

}  // namespace velk
