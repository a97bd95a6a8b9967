// ZorvanQuillon: the application runs its main dialog modally and ends when it closes.
#include <wx/app.h>
#include <wx/image.h>
#include <wx/timer.h>

#include <cstdlib>
#include <fstream>

#include "core/platform/Files.h"
#include "core/platform/Text.h"
#include "gui/Resource.h"
#include "gui/ZorvanQuillonDlg.h"
#include "gui/wx/WxDialog.h"

namespace zorvan::gui {
namespace {

// ZORVAN_QUILLON_SNAPSHOT=FILE: once the dialog is on screen, write what it shows (one line
// per shown control) to FILE, for people and scripts checking a desktop without a user; the
// file is renewed while the program runs (also under a message box), so it follows an
// operation to its end.
void ScheduleSnapshot(WxDialog& dialog) {
    const char* target = std::getenv("ZORVAN_QUILLON_SNAPSHOT");
    if (target == nullptr || *target == '\0') {
        return;
    }
    const std::string path = target;
    auto* timer = new wxTimer();
    timer->Bind(wxEVT_TIMER, [&dialog, path](wxTimerEvent&) {
        dialog.Update();
        const std::string partial = path + ".part";
        {
            std::ofstream out(partial, std::ios::binary);
            out << ToUtf8(dialog.DescribeShownControls());
        }
        std::rename(partial.c_str(), path.c_str());  // appears whole
    });
    timer->Start(700);  // lives as long as the program
}

class QuillonApp final : public wxApp {
  public:
    bool OnInit() override {
        wxInitAllImageHandlers();
        SetAppName("ZorvanQuillon");
        return true;
    }
    int OnRun() override {
        WxDialog dialog(nullptr, MainDialogTemplate());
        ZorvanQuillonDlg logic(dialog, DialogEnvironment{platform::ProgramFolder()});
        ScheduleSnapshot(dialog);
        dialog.Run(logic);
        return 0;
    }
};

}  // namespace
}  // namespace zorvan::gui

wxIMPLEMENT_APP(zorvan::gui::QuillonApp);
