#include <QDateTime>
#include <QDir>
#include <QFile>
#include <cmath>
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
  for (const QString& name : {QString(""), QString("../escape"), QString("a/b"), QString("a\\b"), QString(".hidden"),
                              QString("line\nbreak"), SettingsDomain::standardName}) {
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
