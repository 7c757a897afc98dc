#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/file_names.h"

namespace kv9 {
namespace {

inline constexpr int kMaxLinks = 40;  // as the kernel follows them

}  // namespace

std::FILE* open_file(const char* path, const char* mode) {
  return std::fopen(path, mode);
}

void folder_of(const char* path, PathText& folder) {
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) {
    std::snprintf(folder.data(), folder.size(), ".");
  } else if (slash == path) {
    std::snprintf(folder.data(), folder.size(), "/");
  } else {
    std::snprintf(folder.data(), folder.size(), "%.*s", static_cast<int>(slash - path), path);
  }
}

bool file_beside(const char* sheet, const char* name, PathText& path) {
  PathText folder;
  folder_of(sheet, folder);
  const auto join = [&](const char* n) {
    const int written = n[0] == '/'
                            ? std::snprintf(path.data(), path.size(), "%s", n)
                            : std::snprintf(path.data(), path.size(), "%s/%s", folder.data(), n);
    return written >= 0 && written < int(path.size());
  };
  if (!join(name)) return false;
  struct stat st;
  if (std::strchr(name, '\\') == nullptr || ::stat(path.data(), &st) == 0) return true;
  PathText slashed;
  std::snprintf(slashed.data(), slashed.size(), "%s", name);
  for (char& c : slashed) c = c == '\\' ? '/' : c;
  return join(slashed.data());
}

bool resolve_target(const char* name, PathText& target) {
  if (std::snprintf(target.data(), target.size(), "%s", name) >= int(target.size())) return false;
  for (int links = 0; links < kMaxLinks; ++links) {
    struct stat st;
    if (::lstat(target.data(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    PathText link;
    const ssize_t n = ::readlink(target.data(), link.data(), link.size() - 1);
    if (n < 0) return false;
    link[static_cast<std::size_t>(n)] = '\0';
    if (link[0] == '/') {
      target = link;
      continue;
    }
    PathText folder;
    folder_of(target.data(), folder);
    if (std::snprintf(target.data(), target.size(), "%s/%s", folder.data(), link.data()) >=
        int(target.size()))
      return false;
  }
  return false;
}

}  // namespace kv9
