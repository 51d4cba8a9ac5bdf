#include "brindel/core/fileholder.h"

FileResource::FileResource(const std::string& filename, const std::string& mode)
    : filename_(filename), mode_(mode), fp_(nullptr) {}

FileResource::~FileResource() {
  if (fp_ != nullptr) fclose(fp_);
}

bool FileResource::Get() {
  if (fp_ != nullptr) fclose(fp_);
  fp_ = fopen(filename_.c_str(), mode_.c_str());
  return fp_ != nullptr;
}
