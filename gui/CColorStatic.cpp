#include "gui/CColorStatic.h"

#include "gui/Resource.h"

namespace zorvan::gui {

void CColorStatic::Attach(DialogHost& host, ControlId id) {
    host_ = &host;
    id_ = id;
    host_->SetStaticColours(id_, textColour_, transparent_);
}

void CColorStatic::SetWindowText(const std::wstring& text) {
    if (host_ == nullptr) {
        return;
    }
    if (transparent_) {
        host_->InvalidateBehind(id_);
    }
    host_->SetText(id_, text);
}

void CColorStatic::SetTextColour(ColorRef colour) {
    textColour_ = colour;
    if (host_ != nullptr) {
        host_->SetStaticColours(id_, textColour_, transparent_);
    }
}

void CAboutDlg::DoModal() {
    host_.RunModal(AboutDialogTemplate());
}

}  // namespace zorvan::gui
