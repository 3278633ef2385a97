#include "platform/SystemLoginItem.h"

#include "login/ClosureLoginItem.h"
#include "platform/XdgAutostart.h"

LoginItemPlatform SystemLoginItem::platform() {
  const QString executable = XdgAutostart::runningExecutable();
  return {std::make_shared<XdgAutostart>(executable, XdgAutostart::defaultDirectory()), executable,
          &LoginItem::isUsableExecutable, std::nullopt};
}

std::shared_ptr<LoginItemControlling> SystemLoginItem::make() {
  return std::make_shared<ClosureLoginItem>([] { return LoginItem::isEnabled(platform()); },
                                            [](bool enabled) { LoginItem::setEnabled(enabled, platform()); });
}
