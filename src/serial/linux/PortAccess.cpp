#include "serial/linux/PortAccess.h"

#include <algorithm>
#include <cstdio>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

namespace orvexa {

namespace {

constexpr gid_t kRootGroup = 0;
constexpr uid_t kRootUser = 0;
constexpr mode_t kOwnerReadWrite = S_IRUSR | S_IWUSR;
constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;
constexpr mode_t kOtherReadWrite = S_IROTH | S_IWOTH;

bool allows(mode_t mode, mode_t wanted) {
    return (mode & wanted) == wanted;
}

} // namespace

std::optional<NodeAccess> nodeAccessOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return NodeAccess{info.st_uid, info.st_gid, static_cast<mode_t>(info.st_mode & 07777)};
}

AccountNames systemAccountNames() {
    return {[](gid_t gid) {
                const struct group* entry = ::getgrgid(gid);
                return entry ? std::string(entry->gr_name) : std::to_string(gid);
            },
            [](uid_t uid) {
                const struct passwd* entry = ::getpwuid(uid);
                return entry ? std::string(entry->pw_name) : std::to_string(uid);
            }};
}

std::optional<gid_t> groupToJoin(const NodeAccess& node) {
    if (allows(node.mode, kGroupReadWrite) && node.group != kRootGroup) {
        return node.group;
    }
    return std::nullopt;
}

std::string joinGroupCommand(const std::string& group) {
    return "sudo usermod -aG " + group + " $USER";
}

std::string whoMayOpen(const NodeAccess& node, const AccountNames& names) {
    std::string who = allows(node.mode, kOwnerReadWrite) ? "only its owner \"" + names.user(node.owner) + "\""
                                                         : "no one but root";
    if (allows(node.mode, kGroupReadWrite)) {
        who += " and the group \"" + names.group(node.group) + "\"";
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(node.mode & 07777));
    return std::string("its mode ") + mode + " lets " + who + " open it.";
}

bool mayReadWrite(const NodeAccess& node, uid_t uid, const std::vector<gid_t>& groups) {
    if (uid == kRootUser) {
        return true;
    }
    if (node.owner == uid) {
        return allows(node.mode, kOwnerReadWrite);
    }
    if (std::find(groups.begin(), groups.end(), node.group) != groups.end()) {
        return allows(node.mode, kGroupReadWrite);
    }
    return allows(node.mode, kOtherReadWrite);
}

} // namespace orvexa
