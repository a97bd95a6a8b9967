// dalSetDepotFile and dalCreate: load the depot, check the servers, make the context.
#include <memory>
#include <vector>

#include "core/cert/dal/CatchAtBoundary.h"
#include "core/cert/dal/Dal.h"
#include "core/cert/dal/DalContext.h"
#include "core/cert/dal/Depot.h"
#include "core/cert/dal/ServerEntry.h"

namespace zorvan::dal {
namespace {

DalResult CheckServers(const DalConfig& config, std::vector<ServerAddress>& servers) {
    servers.clear();
    for (uint32_t i = 0; i < config.serverCount; ++i) {
        const std::optional<std::string> text = ServerEntryText(config, i);
        if (!text) {
            return DAL_ERR_INVALID_INPUT;
        }
        std::optional<ServerAddress> address = ParseServerEntry(*text);
        if (!address) {
            return DAL_ERR_INVALID_INPUT;
        }
        switch (ResolveHost(address->host)) {
            case ResolveResult::Resolved:
                break;
            case ResolveResult::NetworkUnavailable:
                return DAL_ERR_NETWORK_INTERFACE;
            case ResolveResult::Unknown:
                return DAL_ERR_INVALID_INPUT;
        }
        servers.push_back(std::move(*address));
    }
    return DAL_SUCCESS;
}

DalResult Create(DalContext** context, const DalConfig* config) {
    // More entries than the table holds would be read past its end.
    if (context == nullptr || config == nullptr || config->serverCount == 0 ||
        config->serverCount > DAL_MAX_SERVERS) {
        return DAL_ERR_INVALID_INPUT;
    }
    if (!ProcessDepot().Load(config->depotPassword)) {
        return DAL_ERR_FILE_ACCESS;
    }
    std::vector<ServerAddress> servers;
    if (const DalResult checked = CheckServers(*config, servers); checked != DAL_SUCCESS) {
        return checked;
    }
    auto created = std::make_unique<DalContext>();
    created->servers = std::move(servers);
    *context = created.release();
    return DAL_SUCCESS;
}

}  // namespace
}  // namespace zorvan::dal

extern "C" void dalSetDepotFile(const char* path) {
    try {
        zorvan::dal::ProcessDepot().SetFileName(path);
    } catch (...) {
        // Out of memory for the name: the next dalCreate finds no depot and says so.
        zorvan::dal::ProcessDepot().SetFileName(nullptr);
    }
}

extern "C" DalResult dalCreate(DalContext** context, const DalConfig* config) {
    return zorvan::dal::CatchAtBoundary([&] { return zorvan::dal::Create(context, config); });
}
