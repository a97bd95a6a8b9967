// zorvan-links list
#include <algorithm>
#include <array>

#include "core/gfx/linux/Connectors.h"
#include "tools/zorvan-links/LinksTool.h"

namespace zorvan::linkstool {
namespace {

constexpr size_t kColumns = 9;
using Row = std::array<std::string, kColumns>;

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

Row RowOf(const linuxlink::DpConnector& c) {
    return Row{OrDash(c.gpuAddress),
               OrDash(c.gpuDriver),
               c.name,
               c.status.empty() ? "unknown" : c.status,
               OrDash(c.displayName),
               OrDash(c.auxNode),
               OrDash(c.auxName),
               OrDash(c.i2cNode.empty() ? c.i2cBus : c.i2cNode),
               c.Usable() ? "yes" : "no: " + c.problem};
}

void Print(const std::vector<Row>& rows, std::ostream& out) {
    std::array<size_t, kColumns> width{};
    for (const Row& row : rows) {
        for (size_t i = 0; i < kColumns; ++i) {
            width[i] = std::max(width[i], row[i].size());
        }
    }
    for (const Row& row : rows) {
        std::string line;
        for (size_t i = 0; i < kColumns; ++i) {
            line += row[i];
            if (i + 1 < kColumns) {
                line += std::string(width[i] - row[i].size() + 2, ' ');
            }
        }
        out << line << "\n";
    }
}

}  // namespace

int RunList(linuxsys::System& system, std::ostream& out, std::ostream& err) {
    const linuxlink::ConnectorScan scan = linuxlink::ScanConnectors(system, true);
    if (!scan.drmPresent) {
        err << "No DisplayPort AUX device: " << linuxlink::kDrmClassPath
            << " does not exist (no DRM graphics driver is loaded).\n";
        return LINKS_EXIT_FAILED;
    }
    if (scan.connectors.empty()) {
        err << "No DisplayPort AUX device: no graphics card has a DisplayPort connector.\n";
        return LINKS_EXIT_FAILED;
    }
    std::vector<Row> rows{
        {"GPU", "DRIVER", "CONNECTOR", "STATUS", "DISPLAY", "AUX NODE", "AUX NAME", "I2C BUS", "ACCESS"}};
    for (const linuxlink::DpConnector& c : scan.connectors) {
        rows.push_back(RowOf(c));
    }
    Print(rows, out);
    if (!scan.AnyAux()) {
        const bool nvidia = std::any_of(scan.connectors.begin(), scan.connectors.end(),
                                        [](const auto& c) { return c.gpuDriver == "nvidia"; });
        err << "No DisplayPort AUX device: "
            << (nvidia ? "nvidia-drm registers none." : "no graphics driver registers one.")
            << "\n";
        return LINKS_EXIT_FAILED;
    }
    return LINKS_EXIT_OK;
}

}  // namespace zorvan::linkstool
