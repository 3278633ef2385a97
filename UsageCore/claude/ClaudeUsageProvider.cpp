#include "claude/ClaudeUsageProvider.h"

#include <QDateTime>
#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <typeinfo>

#include "claude/ClaudeCredentials.h"
#include "model/CoreLog.h"
#include "model/UsageParseError.h"
#include "model/UsageParsing.h"

namespace {

const char* const kDefaultEndpoint = "https://api.anthropic.com/api/oauth/usage";
constexpr double kLongestBackoffSeconds = 3600;

const char* const kLoginExpired = "Claude 로그인이 만료됐어요. Claude Code를 한 번 실행해 로그인을 갱신하세요";
const char* const kNetwork = "Claude 사용량에 연결할 수 없어요. 네트워크를 확인하고 새로고침하세요";
const char* const kCredentials = "Claude 자격증명 또는 사용량을 읽을 수 없어요. Claude Code 로그인 상태를 확인하세요";

std::string httpMessage(int status) {
  return "Claude 사용량을 조회할 수 없어요 (HTTP " + std::to_string(status) + "). 잠시 후 새로고침하세요";
}

// QUrl hands hosts over normalized: IPv4 as four decimal parts, IPv6 lower-case and compressed.
bool isLoopbackIPv4(QStringView host) {
  const auto parts = host.split(u'.');
  if (parts.size() != 4) return false;
  for (const QStringView part : parts) {
    bool ok = false;
    if (part.toUInt(&ok) > 255 || !ok) return false;
  }
  return parts.front() == u"127";
}

bool isLoopbackHost(const QString& host) {
  if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
  if (host == QLatin1String("::1")) return true;
  if (host.startsWith(QLatin1String("::ffff:"))) return isLoopbackIPv4(QStringView(host).mid(7));
  return isLoopbackIPv4(host);
}

std::optional<QUrl> acceptedOverride(const QByteArray& value) {
  if (value.isEmpty()) return std::nullopt;
  const QUrl url(QString::fromUtf8(value), QUrl::StrictMode);
  if (!url.isValid() || url.host().isEmpty()) return std::nullopt;
  if (url.scheme() == QLatin1String("https")) return url;
  if (url.scheme() == QLatin1String("http") && isLoopbackHost(url.host())) return url;
  return std::nullopt;
}

// Seconds to wait from Retry-After: delta seconds or an HTTP date, at most an hour.
std::optional<double> retryDelay(const QByteArray& value, TimePoint now) {
  const QByteArray text = value.trimmed();
  if (text.isEmpty()) return std::nullopt;
  double seconds = 0;
  const bool isNumber = std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (isNumber) {
    seconds = text.size() > 6 ? kLongestBackoffSeconds : text.toDouble();
  } else {
    // HTTP dates end in "GMT", which Qt's RFC 2822 reader does not take; it means +0000.
    QString dateText = QString::fromLatin1(text);
    if (dateText.endsWith(QLatin1String(" GMT"))) dateText = dateText.chopped(3) + QLatin1String("+0000");
    const QDateTime date = QDateTime::fromString(dateText, Qt::RFC2822Date);
    if (!date.isValid()) return std::nullopt;
    seconds = date.toMSecsSinceEpoch() / 1000.0 - toEpochSeconds(now);
  }
  if (seconds <= 0) return std::nullopt;
  return std::min(seconds, kLongestBackoffSeconds);
}

// Runs the credentials read through `launch` and waits for it, or until `stop` fires: a blocking
// read (the keychain tool, up to seconds) never holds up cancellation. An abandoned read finishes
// on its worker and its result is dropped.
std::optional<QByteArray> readCredentials(const ClaudeUsageProvider::CredentialsFunction& read,
                                          const UsageProvider::Launcher& launch, std::stop_token stop) {
  if (!launch) return read();
  struct Outcome {
    std::mutex mutex;
    std::condition_variable_any changed;
    bool done = false;
    std::optional<QByteArray> value;
    std::exception_ptr error;
  };
  auto outcome = std::make_shared<Outcome>();
  launch([outcome, read] {
    std::optional<QByteArray> value;
    std::exception_ptr error;
    try {
      value = read();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard lock(outcome->mutex);
    outcome->value = std::move(value);
    outcome->error = error;
    outcome->done = true;
    outcome->changed.notify_all();
  });

  std::unique_lock lock(outcome->mutex);
  if (!outcome->changed.wait(lock, stop, [&] { return outcome->done; })) throw TransportError("cancelled");
  if (outcome->error) std::rethrow_exception(outcome->error);
  return std::move(outcome->value);
}

}  // namespace

struct ClaudeUsageProvider::Backoff {
  std::mutex mutex;
  std::optional<TimePoint> until;
  int statusCode = 0;
};

ClaudeUsageProvider::ClaudeUsageProvider()
    : credentials(&ClaudeCredentials::readDefault),
      request([](const ClaudeUsageRequest&) -> ClaudeUsageResponse { throw TransportError("no HTTP transfer"); }),
      m_backoff(std::make_shared<Backoff>()) {}

QUrl ClaudeUsageProvider::endpoint() {
  return acceptedOverride(qgetenv("QUOTABOX_CLAUDE_USAGE_URL")).value_or(QUrl(QString::fromLatin1(kDefaultEndpoint)));
}

void ClaudeUsageProvider::useLauncher(Launcher launch) {
  std::lock_guard lock(m_launchMutex);
  m_launch = std::move(launch);
}

ServiceUsage ClaudeUsageProvider::fetch(std::stop_token stop) {
  try {
    Launcher launch;
    {
      std::lock_guard lock(m_launchMutex);
      launch = m_launch;
    }
    const std::optional<QByteArray> raw = readCredentials(credentials, launch, stop);
    const std::optional<ClaudeCredentials> parsed = raw ? ClaudeCredentials::parse(*raw) : std::nullopt;
    if (!parsed) return ServiceUsage::failure(ServiceID::claude, clock(), ProviderStatus::notSignedIn());
    return exchange(parsed->accessToken, parsed->subscriptionType, stop);
  } catch (const TransportError& error) {
    // Also a cancelled exchange; the store drops that result anyway.
    qCInfo(coreLog) << "Claude usage not fetched:" << error.what();
    return ServiceUsage::failure(ServiceID::claude, clock(), ProviderStatus::unavailable(kNetwork));
  } catch (const std::exception& error) {
    // Only the kind: parser messages may quote the credentials or the answer.
    qCInfo(coreLog) << "Claude credentials or usage unreadable:" << typeid(error).name();
    return ServiceUsage::failure(ServiceID::claude, clock(), ProviderStatus::unavailable(kCredentials));
  } catch (...) {
    qCInfo(coreLog) << "Claude credentials or usage unreadable";
    return ServiceUsage::failure(ServiceID::claude, clock(), ProviderStatus::unavailable(kCredentials));
  }
}

ServiceUsage ClaudeUsageProvider::exchange(const std::string& token, const std::optional<std::string>& plan,
                                           std::stop_token stop) {
  {
    std::lock_guard lock(m_backoff->mutex);
    if (m_backoff->until) {
      const TimePoint now = clock();
      if (now < *m_backoff->until) {
        return ServiceUsage::failure(ServiceID::claude, now,
                                     ProviderStatus::unavailable(httpMessage(m_backoff->statusCode)));
      }
      m_backoff->until.reset();
    }
  }

  ClaudeUsageRequest description;
  description.url = endpoint();
  description.timeout = requestTimeout;
  description.stop = stop;
  description.headers = {
      {"Authorization", "Bearer " + QByteArray::fromStdString(token)},
      {"anthropic-beta", "oauth-2025-04-20"},
      {"Accept", "application/json"},
  };
  const ClaudeUsageResponse response = request(description);
  const TimePoint now = clock();

  if (response.statusCode < 100 || response.statusCode > 599) throw UsageParseError::invalidResponse();
  if (response.statusCode == 401) {
    return ServiceUsage::failure(ServiceID::claude, now, ProviderStatus::unavailable(kLoginExpired));
  }
  if (response.statusCode < 200 || response.statusCode > 299) {
    if (response.statusCode == 429 || response.statusCode == 503) {
      if (const auto delay = retryDelay(response.header("Retry-After"), now)) {
        std::lock_guard lock(m_backoff->mutex);
        m_backoff->until = now + Seconds(*delay);
        m_backoff->statusCode = response.statusCode;
      }
    }
    return ServiceUsage::failure(ServiceID::claude, now, ProviderStatus::unavailable(httpMessage(response.statusCode)));
  }
  return UsageParsing::claude(response.body, plan, now);
}
