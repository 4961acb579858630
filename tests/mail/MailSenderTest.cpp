// SendMail against aiosmtpd: what arrives, parsed back by Python's email package, and how
// each faulty server ends a sending.
#include <gtest/gtest.h>

#include <QJsonObject>
#include <QJsonDocument>
#include <chrono>
#include <thread>

#include "MailFixtures.h"
#include "TempHome.h"
#include "platform/MailSender.h"

namespace vigil::test {
namespace {

using namespace std::chrono_literals;

QJsonObject Envelope(const std::filesystem::path& folder, int n) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(folder / (std::to_string(n) + ".json")))).object();
}

MailMessage SmallMail() {
  MailMessage m;
  m.from = QStringLiteral("a@example.com");
  m.to = QStringLiteral("b@example.com");
  m.subject = m.body = QStringLiteral("s");
  return m;
}

class SendMailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    std::filesystem::create_directory(inbox);
  }
  TempHome home;
  std::filesystem::path inbox = home / "inbox";
  TransferLimits limits{2000, 2, 2, {}};
};

TEST_F(SendMailTest, ChineseHeadersNamesAndAttachmentsArriveIntact) {
  PyServer server("smtp_server.py", {"--dir", Path(inbox)});
  const QString subject = QString::fromUtf8(
      "监控系统报警!!! 一号镜头 在 2009-05-17 08:04:09 发现移动物体，请尽快查看附件中的图片 with spaces");
  const QString longName = QString::fromUtf8("报警图片").repeated(20) + QStringLiteral(" 080409(2).JPG");
  MailMessage m;
  m.from = QString::fromUtf8("监控站 <station@example.com>");
  m.to = QString::fromUtf8("张三 <zhang@example.com>, \"Li, Si\" <li@example.com>；王五@example.com");
  m.subject = subject;
  m.body = subject;
  m.mailer = QString::fromUtf8("Tavik监控邮件发送器");
  m.attachments = {{QStringLiteral("080409(2).JPG"), MakePicture(home / "a", 70'000)},
                   {QString::fromUtf8("报警 图片 一号.jpg"), MakePicture(home / "b", 1)},
                   {longName, MakePicture(home / "c", 5'000)}};
  SmtpAccount account{QStringLiteral("127.0.0.1"), server.port(), {}, {}, false};

  TransferResult r = SendMail(account, m, limits, nullptr);
  ASSERT_TRUE(r.ok) << r.error.toStdString();

  QJsonArray mails = ParseMails(inbox);
  ASSERT_EQ(mails.size(), 1);
  QJsonObject mail = mails[0].toObject();
  EXPECT_EQ(mail["subject"].toString(), subject);
  EXPECT_EQ(mail["body"].toString(), subject);
  EXPECT_EQ(mail["mailer"].toString(), m.mailer);
  EXPECT_EQ(mail["from"].toString(), QString::fromUtf8("监控站 <station@example.com>"));
  EXPECT_EQ(mail["defects"].toInt(), 0);
  EXPECT_LE(mail["longest_line"].toInt(), 998);
  QJsonArray to = mail["to"].toArray();
  ASSERT_EQ(to.size(), 3);
  EXPECT_EQ(to[0].toObject()["name"].toString(), QString::fromUtf8("张三"));
  EXPECT_EQ(to[1].toObject()["name"].toString(), QStringLiteral("Li, Si"));
  EXPECT_EQ(to[2].toObject()["address"].toString(), QString::fromUtf8("王五@example.com"));

  QJsonArray files = mail["attachments"].toArray();
  ASSERT_EQ(files.size(), 3);
  for (int i = 0; i < 3; ++i) {
    QJsonObject f = files[i].toObject();
    EXPECT_EQ(f["filename"].toString(), m.attachments[static_cast<size_t>(i)].fileName);
    EXPECT_EQ(QByteArray::fromBase64(f["data"].toString().toLatin1()), m.attachments[static_cast<size_t>(i)].data);
  }
  EXPECT_EQ(files[0].toObject()["type"].toString(), QStringLiteral("image/jpeg"));

  QJsonObject envelope = Envelope(inbox, 1);
  EXPECT_EQ(envelope["mail_from"].toString(), QStringLiteral("station@example.com"));
  EXPECT_TRUE(envelope["smtputf8"].toBool());  // the Chinese mailbox needs it
  EXPECT_EQ(envelope["rcpt_tos"].toArray().size(), 3);
}

struct LoginCase {
  const char* name;
  bool starttls;
};
void PrintTo(const LoginCase& c, std::ostream* os) { *os << c.name; }

class SendMailLoginTest : public SendMailTest, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(SendMailLoginTest, LogsInWithLoginMethod) {
  QStringList args{"--dir", Path(inbox), "--auth", QString::fromUtf8("alarm:密码 secret")};
  if (GetParam().starttls) args << "--starttls";
  PyServer server("smtp_server.py", args);
  limits.caFile = server.ca();
  MailMessage m = SmallMail();
  SmtpAccount account{QStringLiteral("127.0.0.1"), server.port(), "alarm", QString::fromUtf8("密码 secret"), true};

  TransferResult r = SendMail(account, m, limits, nullptr);
  ASSERT_TRUE(r.ok) << r.error.toStdString();
  QJsonObject envelope = Envelope(inbox, 1);
  EXPECT_EQ(envelope["auth"].toObject()["mechanism"].toString(), QStringLiteral("LOGIN"));
  EXPECT_EQ(envelope["auth"].toObject()["login"].toString(), QStringLiteral("alarm"));
  EXPECT_EQ(envelope["tls"].toBool(), GetParam().starttls);
}

INSTANTIATE_TEST_SUITE_P(Servers, SendMailLoginTest,
                         ::testing::Values(LoginCase{"Plain", false}, LoginCase{"StartTls", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SendMailTest, UntrustedCertificateIsNotUsed) {
  PyServer server("smtp_server.py", {"--dir", Path(inbox), "--auth", "alarm:secret", "--starttls"});
  MailMessage m = SmallMail();
  SmtpAccount account{QStringLiteral("127.0.0.1"), server.port(), "alarm", "secret", true};
  TransferResult r = SendMail(account, m, limits, nullptr);  // no CA given: the system store
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(MailCountIn(inbox), 0);
}

struct FaultCase {
  const char* name;
  const char* mode;      // smtp_server.py mode; null: nothing listens
  const char* password;  // the server wants "secret"
  const char* expect;    // in the error text
};
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class SendMailFaultTest : public SendMailTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SendMailFaultTest, FailsWithinLimitsAndSaysWhy) {
  const FaultCase& c = GetParam();
  std::optional<PyServer> server;
  if (c.mode) server.emplace("smtp_server.py", QStringList{"--dir", Path(inbox), "--mode", c.mode, "--auth", "alarm:secret"});
  const int port = server ? server->port() : DeadPort();
  MailMessage m = SmallMail();
  m.attachments = {{"p.jpg", QByteArray(200'000, 'x')}};
  SmtpAccount account{QStringLiteral("127.0.0.1"), port, "alarm", c.password, true};

  const auto start = std::chrono::steady_clock::now();
  TransferResult r = SendMail(account, m, limits, nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.error.contains(QString::fromUtf8(c.expect), Qt::CaseInsensitive)) << r.error.toStdString();
  EXPECT_EQ(MailCountIn(inbox), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, SendMailFaultTest,
    ::testing::Values(FaultCase{"Down", nullptr, "secret", "connect"},
                      FaultCase{"Refusing", "refuse", "secret", "554"},
                      FaultCase{"WrongPassword", "normal", "wrong", "login denied"},
                      FaultCase{"SilentServer", "stall", "secret", "timeout"},
                      FaultCase{"NoAnswerToData", "stall-data", "secret", "timeout"},
                      FaultCase{"HangsUpInData", "drop-data", "secret", "smtp://127.0.0.1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SendMailTest, CancelCutsOffASilentServerAtOnce) {
  PyServer server("smtp_server.py", {"--dir", Path(inbox), "--mode", "stall"});
  TransferLimits patient{30'000, 60, 60, {}};
  TransferCancel cancel;
  MailMessage m = SmallMail();
  SmtpAccount account{QStringLiteral("127.0.0.1"), server.port(), {}, {}, false};
  TransferResult r;
  std::thread sender([&] { r = SendMail(account, m, patient, &cancel); });
  std::this_thread::sleep_for(300ms);  // let it reach the greeting wait
  const auto start = std::chrono::steady_clock::now();
  cancel.Request();
  sender.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_FALSE(r.ok);
}

TEST(MailAddressTest, ParsesAddressListTexts) {
  struct Case {
    const char* text;
    std::vector<std::pair<const char*, const char*>> want;  // name, address
  } cases[] = {
      {"a@b.cn", {{"", "a@b.cn"}}},
      {" a@b.cn ; c@d.cn,e@f.cn ", {{"", "a@b.cn"}, {"", "c@d.cn"}, {"", "e@f.cn"}}},
      {"张三 <zhang@b.cn>，李四<li@b.cn>", {{"张三", "zhang@b.cn"}, {"李四", "li@b.cn"}}},
      {"\"Li, Si; Jr\" <li@b.cn>", {{"Li, Si; Jr", "li@b.cn"}}},
      {"a@b.cn,, ;", {{"", "a@b.cn"}}},
      {"x\r\nBcc: evil@e.cn <a@b.cn>", {{"x  Bcc: evil@e.cn", "a@b.cn"}}},
      {"", {}},
  };
  for (const Case& c : cases) {
    std::vector<MailAddress> got = ParseAddressList(QString::fromUtf8(c.text));
    ASSERT_EQ(got.size(), c.want.size()) << c.text;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].name, QString::fromUtf8(c.want[i].first)) << c.text;
      EXPECT_EQ(got[i].address, QString::fromUtf8(c.want[i].second)) << c.text;
    }
  }
}

TEST(MailAddressTest, HeaderTextsNeverBreakALine) {
  for (const char* text : {"plain subject", "evil\r\nBcc: x@y.cn", "中文标题\n第二行", "=?UTF-8?B?abc?="}) {
    for (const QByteArray& header : {EncodeHeaderText(QString::fromUtf8(text)), DispositionHeader(QString::fromUtf8(text))}) {
      // Every line break must be a fold (CRLF followed by a space).
      for (qsizetype i = header.indexOf('\n'); i >= 0; i = header.indexOf('\n', i + 1)) {
        ASSERT_GT(i, 0) << text;
        EXPECT_EQ(header[i - 1], '\r') << text;
        ASSERT_LT(i + 1, header.size()) << text;
        EXPECT_EQ(header[i + 1], ' ') << text;
      }
      EXPECT_EQ(header.count('\r'), header.count('\n')) << text;
    }
  }
}

}  // namespace
}  // namespace vigil::test
