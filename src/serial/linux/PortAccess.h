// Who may open a device node, told from its owner, group and mode: shared by the hint after a refused open
// and by the doctor, so that both give the same advice.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace orvexa {

struct NodeAccess {
    uid_t owner = 0;
    gid_t group = 0;
    mode_t mode = 0; // permission bits only
};

// The node's owner, group and mode; nullopt when it cannot be looked at.
std::optional<NodeAccess> nodeAccessOf(const std::string& path);

// Names of accounts as the machine knows them; a number when it knows none.
struct AccountNames {
    std::function<std::string(gid_t)> group;
    std::function<std::string(uid_t)> user;
};
// The names of this machine's own account database.
AccountNames systemAccountNames();

// The group worth joining to open the node: its own group, when that group may read and write it and is
// not root's own (which no one should be told to join). nullopt when joining a group would not help.
std::optional<gid_t> groupToJoin(const NodeAccess& node);

// "sudo usermod -aG dialout $USER"; the membership takes effect at the next login.
std::string joinGroupCommand(const std::string& group);
// Why joining a group does not help: "its mode 0600 lets only its owner "root" open it."
std::string whoMayOpen(const NodeAccess& node, const AccountNames& names);

// Whether an account with this uid and these groups may read and write the node.
bool mayReadWrite(const NodeAccess& node, uid_t uid, const std::vector<gid_t>& groups);

} // namespace orvexa
