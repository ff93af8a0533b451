// Notices when the operator changes a folder the server reads at start (the
// banner pages, the update modules), so that it is read again without a restart.
#pragma once

#include <string>

namespace navlet::server {

// What a folder holds as far as a reread cares: each entry's name, size and
// modification time, in name order. Equal signatures mean nothing changed;
// a missing folder has the empty signature.
std::string FolderSignature(const std::string& folder);

} // namespace navlet::server
