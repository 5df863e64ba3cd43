#include "Gallery.h"

#include <memory>

#include "ui/MenuModel.h"
#include "ui/Shell.h"
#include "ui/resource.h"

namespace vltest {

using ui::Rect;

namespace {

template <class W, class... Args>
W* put(ui::Form& form, Args&&... args) {
  return form.add(std::make_unique<W>(std::forward<Args>(args)...));
}

}  // namespace

void buildGallery(ui::Form& form) {
  put<ui::GroupRect>(form, Rect{4, 4, 306, 330}, 90);

  put<ui::Label>(form, Rect{10, 10, 100, 24}, 1, "左寄せラベル", 0, false);
  put<ui::Label>(form, Rect{104, 10, 200, 24}, 2, "中央ラベル", 1, true);
  put<ui::Label>(form, Rect{204, 10, 300, 24}, 3, "右寄せラベル", 2, false);
  put<ui::Label>(form, Rect{10, 28, 100, 42}, 4, "無効ラベル", 0, true)->enabled = false;
  put<ui::Label>(form, Rect{104, 28, 150, 42}, galleryKanaA, "あ", 1, false);
  put<ui::Label>(form, Rect{154, 28, 200, 42}, galleryKanaB, "ア", 1, false);
  put<ui::Label>(form, Rect{204, 28, 300, 42}, 7, "右 7", 7, false);
  put<ui::Label>(form, Rect{10, 242, 100, 256}, galleryNormalSample, "太さ見本", 0, false);
  put<ui::Label>(form, Rect{104, 242, 200, 256}, galleryBoldSample, "太さ見本", 0, true);

  put<ui::Button>(form, Rect{10, 50, 90, 68}, 10, "ボタン");
  put<ui::Button>(form, Rect{100, 50, 180, 68}, 11, "押下")->pressed = true;
  put<ui::Button>(form, Rect{190, 50, 270, 68}, 12, "無効")->enabled = false;

  put<ui::Checkbox>(form, Rect{10, 76, 150, 100}, 20, "オフ");
  put<ui::Checkbox>(form, Rect{154, 76, 300, 100}, 21, "オン")->checked = true;
  put<ui::Checkbox>(form, Rect{10, 104, 150, 128}, 22, "押下オフ")->pressed = true;
  auto* c = put<ui::Checkbox>(form, Rect{154, 104, 300, 128}, 23, "押下オン");
  c->pressed = c->checked = true;
  put<ui::Checkbox>(form, Rect{10, 132, 150, 156}, 24, "無効オフ")->enabled = false;
  c = put<ui::Checkbox>(form, Rect{154, 132, 300, 156}, 25, "無効オン");
  c->enabled = false, c->checked = true;

  put<ui::OnOffBtn>(form, Rect{10, 164, 100, 182}, 30, "オン設定")->checked = true;
  put<ui::OnOffBtn>(form, Rect{104, 164, 194, 182}, 31, "オフ設定");
  put<ui::OnOffBtn>(form, Rect{198, 164, 288, 182}, 32, "押下オフ")->pressed = true;
  auto* o = put<ui::OnOffBtn>(form, Rect{10, 190, 100, 208}, 33, "押下オン");
  o->pressed = o->checked = true;
  o = put<ui::OnOffBtn>(form, Rect{104, 190, 194, 208}, 34, "無効オン");
  o->enabled = false, o->checked = true;
  put<ui::OnOffBtn>(form, Rect{198, 190, 288, 208}, 35, "無効オフ")->enabled = false;

  put<ui::Button>(form, Rect{10, 216, 100, 234}, galleryClickButton, "クリック");
  put<ui::Checkbox>(form, Rect{104, 214, 200, 238}, galleryToggleCheck, "切替");
  put<ui::OnOffBtn>(form, Rect{204, 216, 288, 234}, galleryToggleOnOff, "切替");
  put<ui::Button>(form, Rect{10, 264, 100, 282}, galleryDisabledButton, "無効")->enabled = false;
}

void GalleryHandler::note(const std::string& line) {
  events.push_back(line);
  if (log_) {
    std::fprintf(log_, "%s\n", line.c_str());
    std::fflush(log_);
  }
}

intptr_t GalleryHandler::message(ui::Window& w, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  if (ui::Base* clicked = form.trackMouse(w, msg, lParam)) {
    note("click " + std::to_string(clicked->id));
    if (clicked->id == galleryToggleCheck || clicked->id == galleryToggleOnOff) {
      auto* box = static_cast<ui::Checkbox*>(clicked);
      box->checked = !box->checked;
      if (auto p = w.painter()) box->paint(*p);
    }
  }
  switch (msg) {
    case ui::msgCreate:
      buildGallery(form);
      return 0;
    case ui::msgPaint:
      if (auto p = w.beginPaint()) form.paintAll(*p);
      ++paints;
      return 0;
    case ui::msgCommand: {
      const auto id = static_cast<int32_t>(wParam & 0xFFFF);
      note("command " + std::to_string(id));
      if (id == IDM_ABOUT) {
        note("about " + std::to_string(w.runAbout()));
      } else if (id == IDM_EXIT) {
        w.destroy();
      } else if (id == IDM_WEBPAGE) {
        note("web " + std::to_string(ui::openAddress(ui::webPageAddress())));
      } else if (id == IDM_STARTATLOGIN) {
        atLogin = !atLogin;
      } else {
        return w.defaultProc(msg, wParam, lParam);
      }
      return 0;
    }
    case ui::msgInitMenuPopup:
      note("popup " + std::to_string(lParam));
      w.checkMenuItem(IDM_STARTATLOGIN, atLogin);
      return 0;
    case ui::msgDestroy:
      note("destroy");
      ui::postQuit();
      return 0;
    default:
      return w.defaultProc(msg, wParam, lParam);
  }
}

}  // namespace vltest
