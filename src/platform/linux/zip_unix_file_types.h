#pragma once

#include <set>
#include <string>
#include <string_view>

namespace corvane::platform {

// The names of the entries a zip archive's central directory records with a Unix file type other
// than regular file, folder or symbolic link (named pipes, devices, sockets). The zip reader turns
// a named pipe into an empty regular file, so its type has to be read from the directory itself.
// A directory that cannot be found or read gives no names: the reader refuses such an archive.
std::set<std::string> zipEntriesOfOtherUnixTypes(std::string_view archive);

}  // namespace corvane::platform
