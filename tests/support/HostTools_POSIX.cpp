#include "support/HostTools_POSIX.h"

#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace vltest {

bool programInstalled(const char* program) {
  const char* path = std::getenv("PATH");
  const std::string folders = path ? path : "/usr/bin:/bin";
  for (size_t start = 0; start <= folders.size();) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = end > start ? folders.substr(start, end - start) : ".";
    if (access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

bool fontInstalled(const char* family) {
  FcPattern* pattern = family ? FcPatternBuild(nullptr, FC_FAMILY, FcTypeString, family, nullptr) : FcPatternCreate();
  FcObjectSet* fields = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* fonts = pattern && fields ? FcFontList(nullptr, pattern, fields) : nullptr;
  const bool found = fonts && fonts->nfont > 0;
  if (fonts) FcFontSetDestroy(fonts);
  if (fields) FcObjectSetDestroy(fields);
  if (pattern) FcPatternDestroy(pattern);
  return found;
}

}  // namespace vltest
