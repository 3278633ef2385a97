#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "SettingsDomain.h"
#include "TestSandbox.h"

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
  const QString copyPath = SettingsDomain::directory() + "/" + name + ".json";
  if (QFile::exists(domain->filePath()) && !QFile::copy(domain->filePath(), copyPath)) {
    throw std::runtime_error("cannot copy the settings file");
  }
  return SettingsDomain::suite(name);
}

}  // namespace

class SettingsDomainTest : public SandboxedTest {};

TEST_F(SettingsDomainTest, FileLivesUnderTheConfigFolderPerDomain) {
  const auto standard = SettingsDomain::standard();
  EXPECT_EQ(standard->filePath().toStdString(), sandbox.path(".config/Quotabox/com.orrisfen.Quotabox.json").string());
  const auto suite = SettingsDomain::suite("com.orrisfen.Quotabox.verify");
  ASSERT_TRUE(suite);
  EXPECT_EQ(suite->filePath().toStdString(),
            sandbox.path(".config/Quotabox/com.orrisfen.Quotabox.verify.json").string());
  EXPECT_FALSE(QFile::exists(standard->filePath())) << "opening a domain must not create its file";
}

TEST_F(SettingsDomainTest, ValuesKeepTheirTypesThroughTheFile) {
  const auto domain = SettingsDomain::standard();
  const QByteArray bytes("{\"a\":1}\0\xff", 9);
  domain->setValue("flag", false);
  domain->setValue("interval", 120.0);
  domain->setValue("fraction", 0.25);
  domain->setValue("threshold", 85);
  domain->setValue("big", qlonglong(1) << 40);
  domain->setValue("style", QString("퍼센트 both"));
  domain->setValue("state", bytes);
  domain->setValue("list", QVariantList{1, "two", true});

  // This process already sees the types the file will give back.
  EXPECT_EQ(domain->value("threshold").typeId(), QMetaType::LongLong);
  EXPECT_EQ(domain->value("state").typeId(), QMetaType::QByteArray);

  const auto reread = reopenFromDisk(domain);
  const QVariant flag = reread->value("flag");
  EXPECT_EQ(flag.typeId(), QMetaType::Bool);
  EXPECT_FALSE(flag.toBool());
  // 120.0 must stay a double and not turn into the integer 120.
  EXPECT_EQ(reread->value("interval").typeId(), QMetaType::Double);
  EXPECT_EQ(reread->value("interval").toDouble(), 120.0);
  EXPECT_EQ(reread->value("fraction").toDouble(), 0.25);
  EXPECT_EQ(reread->value("threshold").typeId(), QMetaType::LongLong);
  EXPECT_EQ(reread->value("threshold").toInt(), 85);
  EXPECT_EQ(reread->value("big").toLongLong(), qlonglong(1) << 40);
  EXPECT_EQ(reread->value("style").typeId(), QMetaType::QString);
  EXPECT_EQ(reread->value("style").toString(), QString("퍼센트 both"));
  EXPECT_EQ(reread->value("state").typeId(), QMetaType::QByteArray);
  EXPECT_EQ(reread->value("state").toByteArray(), bytes);
  EXPECT_EQ(reread->value("list").toList(), (QVariantList{qlonglong(1), QString("two"), true}));

  const auto onDisk = readJson(domain->filePath());
  EXPECT_TRUE(onDisk["flag"].is_boolean());
  EXPECT_TRUE(onDisk["interval"].is_number_float());
  EXPECT_TRUE(onDisk["threshold"].is_number_integer());
  EXPECT_EQ(onDisk["state"]["$bytes"], bytes.toBase64().toStdString());
}

TEST_F(SettingsDomainTest, HandWrittenFileReadsWithJsonTypes) {
  sandbox.writeFile(".config/Quotabox/com.orrisfen.Quotabox.json",
                    R"({"refreshInterval": 300, "showTrends": "false", "warningThreshold": 80.0,
                        "nothing": null, "notBytes": {"$bytes": "***"}})");
  const auto domain = SettingsDomain::standard();
  EXPECT_EQ(domain->value("refreshInterval").typeId(), QMetaType::LongLong);
  EXPECT_EQ(domain->value("showTrends").typeId(), QMetaType::QString);
  EXPECT_EQ(domain->value("warningThreshold").typeId(), QMetaType::Double);
  EXPECT_FALSE(domain->contains("nothing"));
  EXPECT_EQ(domain->value("notBytes").typeId(), QMetaType::QVariantMap);
  EXPECT_FALSE(domain->value("missing").isValid());
}

TEST_F(SettingsDomainTest, RemoveAndInvalidValueDeleteTheKeyOnDisk) {
  const auto domain = SettingsDomain::standard();
  domain->setValue("a", 1);
  domain->setValue("b", 2);
  domain->setValue("c", 3);
  domain->remove("a");
  domain->setValue("b", QVariant());
  domain->remove("");  // must not wipe the domain
  EXPECT_FALSE(domain->contains("a"));
  const auto onDisk = readJson(domain->filePath());
  EXPECT_EQ(onDisk, nlohmann::json({{"c", 3}}));
}

TEST_F(SettingsDomainTest, UnstorableValuesAreRefusedWithoutTouchingTheFile) {
  const auto domain = SettingsDomain::standard();
  domain->setValue("kept", 1);
  EXPECT_THROW(domain->setValue("nan", std::nan("")), std::invalid_argument);
  EXPECT_THROW(domain->setValue("inf", std::numeric_limits<double>::infinity()), std::invalid_argument);
  EXPECT_THROW(domain->setValue("when", QDateTime::currentDateTimeUtc()), std::invalid_argument);
  EXPECT_THROW(domain->setValue("", 1), std::invalid_argument);
  EXPECT_EQ(readJson(domain->filePath()), nlohmann::json({{"kept", 1}}));
}

TEST_F(SettingsDomainTest, SuitesAreSeparateFromEachOtherAndTheStandardDomain) {
  const auto standard = SettingsDomain::standard();
  const auto verify = SettingsDomain::suite("Quotabox.release-verification.2f0c");
  const auto snapshot = SettingsDomain::suite("Quotabox.snapshot");
  standard->setValue("refreshInterval", 60.0);
  verify->setValue("refreshInterval", 900.0);
  EXPECT_EQ(standard->value("refreshInterval").toDouble(), 60.0);
  EXPECT_EQ(verify->value("refreshInterval").toDouble(), 900.0);
  EXPECT_FALSE(snapshot->contains("refreshInterval"));

  verify->removePersistentDomain();
  EXPECT_FALSE(QFile::exists(verify->filePath()));
  EXPECT_FALSE(verify->contains("refreshInterval"));
  EXPECT_FALSE(reopenFromDisk(verify)->contains("refreshInterval"));
  EXPECT_EQ(reopenFromDisk(standard)->value("refreshInterval").toDouble(), 60.0);
  EXPECT_TRUE(QFile::exists(standard->filePath()));

  // A removed domain can be used again and starts empty.
  verify->setValue("x", true);
  EXPECT_EQ(readJson(verify->filePath()), nlohmann::json({{"x", true}}));
}

TEST_F(SettingsDomainTest, SuiteNamesThatCannotBeAFileOfTheirOwnAreRefused) {
  EXPECT_EQ(SettingsDomain::suite(""), nullptr);
  EXPECT_EQ(SettingsDomain::suite("../escape"), nullptr);
  EXPECT_EQ(SettingsDomain::suite("a/b"), nullptr);
  EXPECT_EQ(SettingsDomain::suite("a\\b"), nullptr);
  EXPECT_EQ(SettingsDomain::suite(".hidden"), nullptr);
  EXPECT_EQ(SettingsDomain::suite("line\nbreak"), nullptr);
  EXPECT_EQ(SettingsDomain::suite(SettingsDomain::standardName), nullptr);
  EXPECT_NE(SettingsDomain::suite("{6f1c2d7e-0000-4000-8000-000000000000}"), nullptr);
}

TEST_F(SettingsDomainTest, InstancesOfOneDomainShareValuesAndSeeOutsideEdits) {
  const auto first = SettingsDomain::standard();
  const auto second = SettingsDomain::standard();
  first->setValue("k", QString("v"));
  EXPECT_EQ(second->value("k").toString(), "v");

  // Another process rewriting the file is picked up by sync().
  sandbox.writeFile(".config/Quotabox/com.orrisfen.Quotabox.json", R"({"k": "changed", "extra": 1})");
  first->sync();
  EXPECT_EQ(first->value("k").toString(), "changed");
  EXPECT_TRUE(first->contains("extra"));
}

TEST_F(SettingsDomainTest, UnreadableFileIsSetAsideNotOverwritten) {
  const QByteArray damaged = "{\"refreshInterval\": 300, trunc";
  const auto path = sandbox.writeFile(".config/Quotabox/com.orrisfen.Quotabox.json", damaged);
  const auto domain = SettingsDomain::standard();
  EXPECT_FALSE(domain->contains("refreshInterval"));
  domain->setValue("showTrends", false);

  QStringList aside = QDir(QString::fromStdString(path.parent_path().string()))
                          .entryList({"com.orrisfen.Quotabox.json.corrupt-*"}, QDir::Files);
  ASSERT_EQ(aside.size(), 1);
  QFile kept(QString::fromStdString(path.parent_path().string()) + "/" + aside.front());
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), damaged);
  EXPECT_EQ(readJson(domain->filePath()), nlohmann::json({{"showTrends", false}}));
}
