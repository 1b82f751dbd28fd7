// A fake Linux machine under a temporary folder, for the code that reads /sys, /proc, /dev and /etc below
// a root it is given: tty class entries linking into sys/devices, device nodes and udev's by-id names,
// processes with their names and open files, and any other file by its path.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

class FakeMachine {
public:
    FakeMachine() {
        root_ = std::filesystem::temp_directory_path() /
                ("orvexa-machine-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(root_ / "sys" / "class" / "tty");
        std::filesystem::create_directories(root_ / "dev");
    }
    ~FakeMachine() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    FakeMachine(const FakeMachine&) = delete;
    FakeMachine& operator=(const FakeMachine&) = delete;

    // A tty whose own directory is sys/devices/<devicePath>/tty/<name>, returned; hasDevice adds the
    // "device" link that real hardware has, type (when not negative) serial core's "type" attribute.
    std::filesystem::path addTty(const std::string& name, const std::string& devicePath,
                                 bool hasDevice = true, int type = -1, bool withNode = true) {
        namespace fs = std::filesystem;
        const fs::path parent = root_ / "sys" / "devices" / devicePath;
        const fs::path ttyDir = parent / "tty" / name;
        fs::create_directories(ttyDir);
        if (hasDevice) {
            fs::create_directory_symlink(fs::relative(parent, ttyDir), ttyDir / "device");
        }
        if (type >= 0) {
            std::ofstream(ttyDir / "type") << type << "\n";
        }
        const fs::path entry = root_ / "sys" / "class" / "tty" / name;
        fs::create_directory_symlink(fs::relative(ttyDir, entry.parent_path()), entry);
        if (withNode) {
            std::ofstream(root_ / "dev" / name).put('\0');
        }
        return ttyDir;
    }
    void addById(const std::string& alias, const std::string& node, const char* folder = "by-id") {
        std::filesystem::create_directories(root_ / "dev" / "serial" / folder);
        std::filesystem::create_symlink("../../" + node, root_ / "dev" / "serial" / folder / alias);
    }
    // A process named name, holding the files whose paths fds gives (as /proc/<pid>/fd links show them).
    void addProcess(int pid, const std::string& name, const std::vector<std::string>& fds = {}) {
        const std::filesystem::path folder = root_ / "proc" / std::to_string(pid);
        std::filesystem::create_directories(folder / "fd");
        std::ofstream(folder / "comm") << name << "\n";
        for (std::size_t fd = 0; fd < fds.size(); ++fd) {
            std::filesystem::create_symlink(fds[fd], folder / "fd" / std::to_string(fd + 3));
        }
    }
    // Any file, by its path below the root ("etc/group"), with its folders.
    void addFile(const std::string& relative, const std::string& contents) {
        const std::filesystem::path file = root_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << contents;
    }

    const std::filesystem::path& root() const { return root_; }
    std::string sys() const { return (root_ / "sys").string(); }
    std::string dev() const { return (root_ / "dev").string(); }
    std::string dev(const std::string& name) const { return (root_ / "dev" / name).string(); }

private:
    std::filesystem::path root_;
};
