#include "form/status.h"

#include "platform/runtime_error.h"

namespace xfr {

void ShowStatus(FrmMain& form, std::string_view text) {
  if (!text.empty()) {
    form.LblMsg.visible = true;
    form.LblMsg.caption = std::string(text);
  } else {
    form.LblMsg.visible = false;
  }
  form.app().window().StatusChanged(form.LblMsg.caption, form.LblMsg.visible);
}

namespace {

// A picture that cannot be loaded shows an empty image: the animation is decoration, and a
// missing icon must not stop a transfer.
Picture LoadOrEmpty(FrmMain& form, const std::string& path) {
  try {
    return form.app().window().LoadPicture(path);
  } catch (const RuntimeError&) {
    return Picture{};
  }
}

void ShowIcons(FrmMain& form, std::string_view apx_picture, std::string_view trk_picture) {
  const std::string& dir = form.app().config.TrkAppDir;
  form.aniCopy.visible = true;
  form.imgApxIco.picture = LoadOrEmpty(form, dir + std::string(apx_picture));
  form.imgApxIco.visible = true;
  form.imgTrkIco.picture = LoadOrEmpty(form, dir + std::string(trk_picture));
  form.imgTrkIco.visible = true;
}

}  // namespace

void StartReadAnimation(FrmMain& form) { ShowIcons(form, "Trk.bmp", "Apx.bmp"); }

void StartSendAnimation(FrmMain& form) { ShowIcons(form, "Apx.bmp", "Trk.bmp"); }

void StopCopyAnimation(FrmMain& form) {
  form.aniCopy.visible = false;
  form.imgApxIco.visible = false;
  form.imgTrkIco.visible = false;
}

void TestToExit(FrmMain& form) {
  if (form.ckbAutoExit.value == 0) return;
  if (form.Unload) form.Unload();
  throw EndProgram{0};
}

}  // namespace xfr
