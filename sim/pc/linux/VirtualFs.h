#pragma once
// The virtual kernel's file tree: directories, read-only attribute files, symbolic links
// (relative or absolute, followed as the kernel follows them) and device nodes. A node
// records whether the calling user may open it, in place of users and groups.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace zorvan::sim {

class DeviceFile;

struct VNode {
    enum class Kind { kDirectory, kFile, kLink, kDevice };
    Kind kind = Kind::kDirectory;
    std::map<std::string, std::unique_ptr<VNode>> entries;  // directories
    std::string content;  // a file's bytes, a link's target
    uint32_t mode = 0755;
    uint32_t uid = 0;
    uint32_t gid = 0;
    bool userMayOpen = true;  // for reading and writing
    uint32_t deviceMajor = 0;
    uint32_t deviceMinor = 0;
    DeviceFile* device = nullptr;  // not owned
};

class VirtualFs {
public:
    VirtualFs();

    // Each makes the directories on the way.
    VNode& Directory(const std::string& path);
    void File(const std::string& path, std::string content, uint32_t mode = 0444);
    void Link(const std::string& path, const std::string& target);
    // A link from `path` to `target` written relative to the link's folder, as sysfs does.
    void RelativeLink(const std::string& path, const std::string& target);
    VNode& Device(const std::string& path, uint32_t major, uint32_t minor, DeviceFile* device);

    // 0 with `node` set, or -errno. followLast: a link as the last component is followed.
    int Lookup(const std::string& path, bool followLast, VNode*& node);

private:
    VNode& Make(const std::string& path, VNode::Kind kind);

    std::unique_ptr<VNode> root_;
};

}  // namespace zorvan::sim
