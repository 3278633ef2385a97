#include "login/ClosureLoginItem.h"

ClosureLoginItem::ClosureLoginItem(std::function<bool()> isEnabledProvider, std::function<void(bool)> setter)
    : m_isEnabledProvider(std::move(isEnabledProvider)), m_setter(std::move(setter)) {}
