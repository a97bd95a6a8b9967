#pragma once
// The demo folder: a Config.ini that runs the programs on the virtual chip, the signed ISP
// driver, the security firmware (ESM), the signed firmware images, a Customized Data Block,
// the key files and the chip's state.
#include <string>
#include <vector>

namespace zorvan::sim {

// Config.ini of the demo folder (CRLF line ends, as Windows writes it).
std::string DemoConfigIni();

// Writes the demo files into `folder` (created if missing), replacing files of the same
// names; `written` receives their names. False with `error` set on the first failure.
bool WriteDemoAssets(const std::wstring& folder, std::vector<std::wstring>& written,
                     std::wstring& error);

}  // namespace zorvan::sim
