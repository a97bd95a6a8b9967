#pragma once
// Scripted AMD library and Intel automation-object layers, recording the calls made.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/gfx/adl/Adl.h"
#include "core/gfx/cui/Cui.h"

namespace zorvan::test {

class FakeAdl final : public adl::Driver {
public:
    std::set<std::wstring> loadable = {adl::kLibraryName};
    std::set<std::string> missingEntryPoints;
    int createResult = adl::ADL_OK;
    // "load <name>", "unload", "create", "destroy" in order.
    std::vector<std::string> calls;

    bool Load(const wchar_t* fileName) override;
    void Unload() override { calls.push_back("unload"); }
    bool HasEntryPoint(const char* name) override {
        return missingEntryPoints.count(name) == 0;
    }
    int MainControlCreate(adl::AllocCallback callback, int connectedOnly) override;
    int MainControlDestroy() override {
        calls.push_back("destroy");
        return adl::ADL_OK;
    }
};

class FakeCui final : public cui::Driver {
public:
    cui::HResult createResult = cui::kHrOk;
    bool giveObject = true;
    int coInitializeCalls = 0;
    int created = 0;
    int released = 0;
    std::vector<std::wstring> progIds;

    void CoInitialize() override { ++coInitializeCalls; }
    cui::HResult CreateInstance(const wchar_t* progId,
                                std::unique_ptr<cui::Interface>* object) override;
    bool EnumDisplayAdapter(uint32_t, std::wstring*) override { return false; }
    int Alive() const { return created - released; }
};

// Install a layer for the lifetime of the guard.
class ScopedAdl {
public:
    explicit ScopedAdl(adl::Driver& driver) { adl::InstallDriver(&driver); }
    ~ScopedAdl() { adl::InstallDriver(nullptr); }
    ScopedAdl(const ScopedAdl&) = delete;
    ScopedAdl& operator=(const ScopedAdl&) = delete;
};

class ScopedCui {
public:
    explicit ScopedCui(cui::Driver& driver) { cui::InstallDriver(&driver); }
    ~ScopedCui() { cui::InstallDriver(nullptr); }
    ScopedCui(const ScopedCui&) = delete;
    ScopedCui& operator=(const ScopedCui&) = delete;
};

}  // namespace zorvan::test
