#include "sim/pc/linux/VirtualFs.h"

#include <deque>
#include <vector>

#include "sim/pc/linux/KernelAbi.h"

namespace zorvan::sim {
namespace {

constexpr int kMaxLinkHops = 40;

std::vector<std::string> Split(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = path.find('/', start);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    return parts;
}

}  // namespace

VirtualFs::VirtualFs() : root_(std::make_unique<VNode>()) {}

VNode& VirtualFs::Make(const std::string& path, VNode::Kind kind) {
    const std::vector<std::string> parts = Split(path);
    VNode* node = root_.get();
    for (size_t i = 0; i < parts.size(); ++i) {
        std::unique_ptr<VNode>& entry = node->entries[parts[i]];
        if (!entry) {
            entry = std::make_unique<VNode>();
            entry->kind = i + 1 == parts.size() ? kind : VNode::Kind::kDirectory;
        }
        node = entry.get();
    }
    return *node;
}

VNode& VirtualFs::Directory(const std::string& path) { return Make(path, VNode::Kind::kDirectory); }

void VirtualFs::File(const std::string& path, std::string content, uint32_t mode) {
    VNode& node = Make(path, VNode::Kind::kFile);
    node.content = std::move(content);
    node.mode = mode;
}

void VirtualFs::Link(const std::string& path, const std::string& target) {
    VNode& node = Make(path, VNode::Kind::kLink);
    node.content = target;
    node.mode = 0777;
}

void VirtualFs::RelativeLink(const std::string& path, const std::string& target) {
    std::vector<std::string> from = Split(path);
    from.pop_back();  // the link's own folder
    const std::vector<std::string> to = Split(target);
    size_t common = 0;
    while (common < from.size() && common < to.size() && from[common] == to[common]) {
        ++common;
    }
    // A link to an ancestor still names it, as sysfs writes "../../../0000:00:02.0".
    if (common == to.size() && common > 0) {
        --common;
    }
    std::string relative;
    for (size_t i = common; i < from.size(); ++i) {
        relative += "../";
    }
    for (size_t i = common; i < to.size(); ++i) {
        relative += to[i] + (i + 1 < to.size() ? "/" : "");
    }
    Link(path, relative);
}

VNode& VirtualFs::Device(const std::string& path, uint32_t major, uint32_t minor,
                         DeviceFile* device) {
    VNode& node = Make(path, VNode::Kind::kDevice);
    node.deviceMajor = major;
    node.deviceMinor = minor;
    node.device = device;
    return node;
}

int VirtualFs::Lookup(const std::string& path, bool followLast, VNode*& node) {
    if (path.empty() || path[0] != '/') {
        return -kernel::kENOENT;
    }
    std::deque<std::string> pending;
    for (const std::string& part : Split(path)) {
        pending.push_back(part);
    }
    std::vector<VNode*> walked{root_.get()};
    int hops = 0;
    while (!pending.empty()) {
        const std::string part = pending.front();
        pending.pop_front();
        if (part == ".") {
            continue;
        }
        if (part == "..") {
            if (walked.size() > 1) {
                walked.pop_back();
            }
            continue;
        }
        VNode* here = walked.back();
        if (here->kind != VNode::Kind::kDirectory) {
            return -kernel::kENOTDIR;
        }
        const auto it = here->entries.find(part);
        if (it == here->entries.end()) {
            return -kernel::kENOENT;
        }
        VNode* next = it->second.get();
        if (next->kind == VNode::Kind::kLink && (!pending.empty() || followLast)) {
            if (++hops > kMaxLinkHops) {
                return -kernel::kELOOP;
            }
            if (!next->content.empty() && next->content[0] == '/') {
                walked.resize(1);
            }
            const std::vector<std::string> target = Split(next->content);
            pending.insert(pending.begin(), target.begin(), target.end());
            continue;
        }
        walked.push_back(next);
    }
    node = walked.back();
    return 0;
}

}  // namespace zorvan::sim
