#pragma once
// The demo folder: a Config.ini that runs the programs on the virtual chip, the signed ISP
// driver, the security firmware (ESM), the signed firmware images, a Customized Data Block,
// the key files and the chip's state.
#include <string>
#include <vector>

namespace zorvan::sim {

// Config.ini of the demo folder (CRLF line ends, as Windows writes it).
std::string DemoConfigIni();

// Writes the demo files into `folder` (created if missing); `written` receives their names.
// A folder that holds any of them already is left alone unless `replaceExisting` is set;
// even then only regular files are replaced. False with `error` set on the first failure.
bool WriteDemoAssets(const std::wstring& folder, std::vector<std::wstring>& written,
                     std::wstring& error, bool replaceExisting = false);

}  // namespace zorvan::sim
