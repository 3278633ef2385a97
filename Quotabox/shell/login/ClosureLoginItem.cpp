#include "login/ClosureLoginItem.h"

#include "login/LoginItem.h"

ClosureLoginItem::ClosureLoginItem(std::function<bool()> isEnabledProvider, std::function<void(bool)> setter)
    : m_isEnabledProvider(std::move(isEnabledProvider)), m_setter(std::move(setter)) {}

std::shared_ptr<ClosureLoginItem> ClosureLoginItem::live() {
  return std::make_shared<ClosureLoginItem>([] { return LoginItem::isEnabled(); },
                                            [](bool enabled) { LoginItem::setEnabled(enabled); });
}
