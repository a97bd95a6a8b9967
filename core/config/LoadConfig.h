#pragma once
// Loading Config.ini from the program's own folder into the settings record and the
// program's ZorvanControl.
#include <string>

#include "core/config/IspConfig.h"

namespace zorvan {

class ZorvanControl;

inline constexpr wchar_t kConfigFileName[] = L"Config.ini";
inline constexpr wchar_t kConfigSection[] = L"Firmware Update";

// Reads <program folder>Config.ini. On success fills `config` and the control's copies of
// the adapter, address, secure-ISP and path settings and returns true. On failure returns
// false with the message to show; `config` and `control` are left as they were.
bool LoadConfig(ConfigProgram program, IspConfig& config, ZorvanControl& control,
                std::wstring& message);

// The same with the program folder given (it must end in a separator; empty means the
// program's path was not obtainable).
bool LoadConfigFromFolder(ConfigProgram program, const std::wstring& programFolder,
                          IspConfig& config, ZorvanControl& control, std::wstring& message);

}  // namespace zorvan
