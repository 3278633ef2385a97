#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <cmath>
#include <filesystem>
#include <functional>
#include <future>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "TestSandbox.h"
#include "settings/SettingsDomain.h"

namespace {
nlohmann::json readJson(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + path.toStdString());
  return nlohmann::json::parse(file.readAll().toStdString());
}

// Opens a copy of the domain's file under another name, so nothing cached in this process helps.
std::shared_ptr<SettingsDomain> reopenFromDisk(const std::shared_ptr<SettingsDomain>& domain) {
  static int copies = 0;
  const QString name = QStringLiteral("copy-%1").arg(++copies);
  QFile::copy(domain->filePath(), SettingsDomain::directory() + "/" + name + ".json");
  return SettingsDomain::suite(name);
}

const char* kStandardFile = ".config/Quotabox/com.orrisfen.Quotabox.json";

class SettingsDomainTest : public SandboxedTest {};
}  // namespace

TEST_F(SettingsDomainTest, ValuesKeepTheirTypesThroughTheFile) {
  const auto domain = SettingsDomain::standard();
  const QByteArray bytes("{\"a\":1}\0\xff", 9);
  // 120.0 must stay a double and not turn into the integer 120; integers read back as LongLong.
  const std::tuple<QString, QVariant, QVariant> cases[] = {
      {"flag", false, false},
      {"interval", 120.0, 120.0},
      {"threshold", 85, qlonglong(85)},
      {"big", qlonglong(1) << 40, qlonglong(1) << 40},
      {"style", QString("퍼센트 both"), QString("퍼센트 both")},
      {"state", bytes, bytes},
      {"list", QVariantList{1, "two"}, QVariantList{qlonglong(1), QString("two")}},
  };
  for (const auto& [key, value, expected] : cases) domain->setValue(key, value);

  const auto reread = reopenFromDisk(domain);
  for (const auto& [key, value, expected] : cases) {
    EXPECT_EQ(reread->value(key).typeId(), expected.typeId()) << key.toStdString();
    EXPECT_EQ(reread->value(key), expected) << key.toStdString();
  }
  EXPECT_EQ(readJson(domain->filePath())["state"]["$bytes"], bytes.toBase64().toStdString());
}

TEST_F(SettingsDomainTest, RemovalAndUnstorableValuesLeaveOnlyWhatWasKept) {
  const auto domain = SettingsDomain::standard();
  for (const char* key : {"a", "b", "c"}) domain->setValue(key, 1);
  domain->remove("a");
  domain->setValue("b", QVariant());
  domain->remove("");  // must not wipe the domain
  EXPECT_THROW(domain->setValue("nan", std::nan("")), std::invalid_argument);
  EXPECT_THROW(domain->setValue("when", QDateTime::currentDateTimeUtc()), std::invalid_argument);
  EXPECT_THROW(domain->setValue("", 1), std::invalid_argument);
  EXPECT_FALSE(domain->contains("a"));
  EXPECT_EQ(readJson(domain->filePath()), nlohmann::json({{"c", 1}}));
}

TEST_F(SettingsDomainTest, SuitesAreSeparateAndRemovableWithoutTouchingTheStandardDomain) {
  const auto standard = SettingsDomain::standard();
  const auto verify = SettingsDomain::suite("Quotabox.release-verification.2f0c");
  standard->setValue("refreshInterval", 60.0);
  verify->setValue("refreshInterval", 900.0);

  verify->removePersistentDomain();
  EXPECT_FALSE(QFile::exists(verify->filePath()));
  EXPECT_FALSE(verify->contains("refreshInterval"));
  EXPECT_EQ(reopenFromDisk(standard)->value("refreshInterval").toDouble(), 60.0);
  // A removed domain can be used again and starts empty.
  verify->setValue("x", true);
  EXPECT_EQ(readJson(verify->filePath()), nlohmann::json({{"x", true}}));
}

TEST_F(SettingsDomainTest, SuiteNamesThatCannotBeAFileOfTheirOwnAreRefused) {
  for (const QString& name : {QString(""), QString("a/b"), QString("a\\b"), QString(".hidden"), QString("line\nbreak"),
                              SettingsDomain::standardName}) {
    EXPECT_EQ(SettingsDomain::suite(name), nullptr) << name.toStdString();
  }
  EXPECT_NE(SettingsDomain::suite("{6f1c2d7e-0000-4000-8000-000000000000}"), nullptr);
}

TEST_F(SettingsDomainTest, InstancesOfOneDomainShareValuesAndSeeOutsideEdits) {
  const auto first = SettingsDomain::standard();
  first->setValue("k", QString("v"));
  EXPECT_EQ(SettingsDomain::standard()->value("k").toString(), "v");

  sandbox.writeFile(kStandardFile, R"({"k": "changed", "nothing": null})");
  first->sync();
  EXPECT_EQ(first->value("k").toString(), "changed");
  EXPECT_FALSE(first->contains("nothing"));
}

TEST_F(SettingsDomainTest, UnreadableFileIsSetAsideNotOverwritten) {
  const QByteArray damaged = "{\"refreshInterval\": 300, trunc";
  const QString folder = QString::fromStdString(sandbox.writeFile(kStandardFile, damaged).parent_path().string());
  const auto domain = SettingsDomain::standard();
  EXPECT_FALSE(domain->contains("refreshInterval"));
  domain->setValue("showTrends", false);

  const QStringList aside = QDir(folder).entryList({"com.orrisfen.Quotabox.json.corrupt-*"}, QDir::Files);
  ASSERT_EQ(aside.size(), 1);
  QFile kept(folder + "/" + aside.front());
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), damaged);
  EXPECT_EQ(readJson(domain->filePath()), nlohmann::json({{"showTrends", false}}));
}

// Whatever sits at the settings path, start-up goes on: nothing blocks, crashes or is rewritten
// out of proportion; the item is moved aside and the domain starts empty.
TEST_F(SettingsDomainTest, HostileFilesAreSetAsideWithoutBlockingOrCrashing) {
  const auto file = sandbox.path(kStandardFile);
  const auto nested = [&](int depth) {
    return QByteArray("{\"showTrends\": false, \"pad\": ") + QByteArray(depth, '[') + QByteArray(depth, ']') + "}";
  };
  const std::pair<const char*, std::function<void()>> items[] = {
      {"nested 5,000 deep", [&] { sandbox.writeFile(kStandardFile, nested(5000)); }},
      {"fifo", [&] { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }},
      {"folder", [&] { std::filesystem::create_directories(file / "inner"); }},
      {"over 1 MiB", [&] { sandbox.writeFile(kStandardFile, "{\"pad\": \"" + QByteArray(1100000, 'x') + "\"}"); }},
  };
  for (const auto& [kind, make] : items) {
    SCOPED_TRACE(kind);
    std::filesystem::remove_all(file.parent_path());
    std::filesystem::create_directories(file.parent_path());
    make();
    auto opening = std::async(std::launch::async, [] { return SettingsDomain::standard(); });
    if (opening.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ::close(::open(file.c_str(), O_WRONLY | O_NONBLOCK));  // lets a reader stuck on the pipe go
      FAIL() << "opening the settings blocked";
    }
    const auto domain = opening.get();
    EXPECT_FALSE(domain->contains("showTrends"));
    EXPECT_TRUE(std::filesystem::exists(QFile::encodeName(domain->setAsidePath()).toStdString()));
    EXPECT_TRUE(domain->setAsideNotice().startsWith(QStringLiteral("설정 파일을 읽을 수 없어")));
    EXPECT_TRUE(domain->setAsideNotice().contains(domain->setAsidePath()));
    domain->setValue("refreshInterval", 300.0);
    EXPECT_EQ(readJson(domain->filePath()), nlohmann::json({{"refreshInterval", 300.0}}));
  }
}

TEST_F(SettingsDomainTest, ExistingFileIsTightenedToOwnerOnly) {
  const auto file = sandbox.writeFile(kStandardFile, R"({"warningThreshold": 80})");
  std::filesystem::permissions(file, std::filesystem::perms(0644));
  const auto domain = SettingsDomain::standard();
  EXPECT_EQ(domain->value("warningThreshold").toLongLong(), 80);
  EXPECT_EQ(modeOf(file), 0600u);
  EXPECT_TRUE(domain->setAsidePath().isEmpty());
  EXPECT_TRUE(domain->setAsideNotice().isEmpty());
}
