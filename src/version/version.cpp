#include "version.h"

#include "velquor_commit.h"

namespace vq {

std::string_view versionNumber() { return VELQUOR_VERSION; }

std::string_view commitId() { return VELQUOR_COMMIT; }

std::string versionText()
{
    std::string text(versionNumber());
    if (!commitId().empty()) text += " (commit " + std::string(commitId()) + ")";
    return text;
}

} // namespace vq
