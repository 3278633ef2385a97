#include "login/LoginItemError.h"

LoginItemError::LoginItemError(Code code) : m_code(code), m_what(description().toStdString()) {}

QString LoginItemError::description() const {
  switch (m_code) {
    case Code::appBundleRequired:
      return QStringLiteral("설치된 Quotabox.app에서 자동 실행을 설정하세요.");
    case Code::approvalRequired:
      return QStringLiteral("시스템 설정 → 일반 → 로그인 항목에서 Quotabox 실행을 허용하세요.");
  }
  return {};
}
