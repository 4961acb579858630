#include <gtest/gtest.h>

#include "TempHome.h"
#include "platform/IniFile.h"
#include "settings/Options.h"

using namespace vigil;
using vigil::test::Gbk;
using vigil::test::ReadFile;
using vigil::test::TempHome;
using vigil::test::WriteFile;

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

TOption Loaded(const std::filesystem::path& file) {
  TOption o;
  LoadOptions(o, file);
  return o;
}

// Every field set away from its default, with Chinese text, blanks and odd values.
TOption Unusual() {
  TOption o = Loaded("/nonexistent/config.ini");
  o.FirstRun = false;
  o.WindowTitle = U("我的 监控");
  o.VideoSize = 3;
  o.MonitorAtStart = false;
  o.ShowTime = false;
  o.VideoPath = U("/媒体/录像 文件/");
  o.Compressor = -1;
  o.UsePassword = true;
  o.Password = U("密码 with =sign");
  o.BossKey = 0x4000 | 0x2000 | 'B';
  o.ExitOption = 2;
  o.CameraNum = 9;
  for (int n = 1; n <= kCameraCount; ++n) {
    o.UseVideo[n] = n % 2;
    o.DispMsg[n] = U("门口") + QString::number(n * 10);
    o.AudioIdx[n] = n - 5;
    o.RecordCamera[n] = n > 4;
    o.MotionDetectSensitivity[n] = n - 1;
    o.MotionDetectInTimes[n] = true;
  }
  o.MonitorFrom = StrToDateTime(U("2026-12-11 8:30:00")).value();
  o.ShutdownAt = StrToDateTime(U("2026-12-31")).value();
  o.TimesCount = 2;
  o.StartTimes[1] = StrToTime(U("8:00:00")).value();
  o.EndTimes[1] = StrToTime(U("12:00:00")).value();
  o.StartTimes[2] = StrToTime(U("22:00:00")).value();
  o.EndTimes[2] = StrToTime(U("6:00:00")).value();
  o.AccountMode = 2;
  o.SMTPAddr = U("smtp.例子.cn");
  o.SMTPPort = 587;
  o.EmailParity = true;
  o.EmailSubject = U("报警!!!");
  o.FTPDir = U("/上传");
  o.PhotoInterval = 250;
  o.MsgTip = true;
  return o;
}

}  // namespace

TEST(Options, AbsentFileGivesEveryDefault) {
  TempHome home;
  TOption o = Loaded(home / "config.ini");
  EXPECT_TRUE(o.FirstRun);
  EXPECT_EQ(o.WindowTitle, U("Tavik视频监控直播系统 V6.0"));
  EXPECT_EQ(o.VideoSize, 1);
  EXPECT_EQ(o.VideoWidth, 320);
  EXPECT_EQ(o.VideoHeight, 240);
  EXPECT_EQ(std::make_tuple(o.ShowAlarmFrame, o.ShowText, o.LabMark, o.ShowTitle, o.ShowTime,
                            o.MonitorAtStart, o.StartFullScreen, o.RunAtStartup),
            std::make_tuple(true, true, true, true, true, true, false, false));
  EXPECT_EQ(o.Compressor, 5);
  EXPECT_EQ(o.MinDiskSpace, 600);
  EXPECT_EQ(o.SaveInterval, 30);
  EXPECT_EQ(o.OLTextColor, 39423);
  EXPECT_EQ(o.OLTextFont, U("MS Sans Serif"));
  EXPECT_EQ(o.ExitOption, 1);
  for (int n = 1; n <= kCameraCount; ++n) {
    EXPECT_EQ(o.DispMsg[n], U("镜头") + QString::number(n));
    EXPECT_EQ(o.AudioIdx[n], -1);
    EXPECT_TRUE(o.UseVideo[n]);
    EXPECT_FALSE(o.RecordCamera[n]);
    EXPECT_TRUE(o.MotionDetect[n]);
    EXPECT_EQ(o.MotionDetectSensitivity[n], 3);
  }
  EXPECT_EQ(o.TimesCount, 0);
  EXPECT_EQ(DateTimeToStr(o.MonitorFrom), U("2007-10-1"));
  EXPECT_EQ(DateTimeToStr(o.MonitorTo), U("2007-10-1 23:59:59"));
  EXPECT_EQ(o.AccountMode, 1);
  EXPECT_EQ(o.SMTPAddr, U(kBuiltinSmtpAddr));
  EXPECT_EQ(o.SMTPPort, kBuiltinSmtpPort);
  EXPECT_EQ(o.FromEmail, U(kBuiltinFromEmail));
  EXPECT_FALSE(o.EmailParity);
  EXPECT_FALSE(o.EnDebug);
  EXPECT_TRUE(o.NewVideoTip);
  EXPECT_FALSE(o.MsgTip);
  EXPECT_FALSE(std::filesystem::exists(home / "config.ini"));  // loading never creates it
}

TEST(Options, SavingDefaultsWritesTheReferenceFile) {
  TempHome home;
  SaveOptions(Loaded(home / "config.ini"), home / "config.ini");
  EXPECT_EQ(ReadFile(home / "config.ini"),
            ReadFile(vigil::test::SourcePath("tests/settings/fixtures/defaults-saved.ini")));
}

TEST(Options, EveryFieldSurvivesSaveAndLoad) {
  TempHome home;
  const TOption first = Unusual();
  SaveOptions(first, home / "a.ini");
  TOption second = Loaded(home / "a.ini");
  SaveOptions(second, home / "b.ini");
  EXPECT_EQ(ReadFile(home / "a.ini"), ReadFile(home / "b.ini"));
  EXPECT_EQ(second.WindowTitle, first.WindowTitle);
  EXPECT_EQ(second.Password, first.Password);
  EXPECT_EQ(second.BossKey, 0x6042);
  EXPECT_EQ(second.VideoWidth, 640);
  EXPECT_EQ(second.DispMsg[9], U("门口90"));
  EXPECT_EQ(second.SMTPAddr, U("smtp.例子.cn"));
  EXPECT_EQ(TimeToStr(second.EndTimes[2]), U("6:00:00"));
  EXPECT_EQ(DateTimeToStr(second.ShutdownAt), U("2026-12-31"));
  // Stored as GBK.
  EXPECT_NE(ReadFile(home / "a.ini").find(Gbk("窗口标题=我的 监控")), std::string::npos);
}

TEST(Options, OddValuesInTheFile) {
  TempHome home;
  auto file = home / "config.ini";
  WriteFile(file, Gbk("[系统参数]\r\n视频尺寸=7\r\n磁盘空间=lots\r\n压缩格式=0x3\r\n窗口标题=") +
                      "\xFF\xFE" + Gbk("\r\n[定时监控]\r\n定时监控开始时间=abc\r\n[Alarm Times]\r\n") +
                      "TimesCount=500\r\nStart1=7:00:00\r\n");
  TOption o = Loaded(file);
  EXPECT_EQ(o.VideoSize, 7);
  EXPECT_EQ(std::make_pair(o.VideoWidth, o.VideoHeight), std::make_pair(320, 240));
  EXPECT_EQ(o.MinDiskSpace, 600);
  EXPECT_EQ(o.Compressor, 3);
  EXPECT_EQ(o.WindowTitle.size(), 2);  // replacement characters, no crash
  EXPECT_EQ(DateTimeToStr(o.MonitorFrom), U("2007-10-1"));
  EXPECT_EQ(o.TimesCount, 100);
  EXPECT_EQ(TimeToStr(o.StartTimes[1]), U("7:00:00"));
  EXPECT_EQ(TimeToStr(o.StartTimes[100]), U("0:00:00"));
  EXPECT_EQ(TimeToStr(o.EndTimes[100]), U("23:59:59"));
}

TEST(Options, NegativeTimesCountReadsNone) {
  TempHome home;
  WriteFile(home / "config.ini", "[Alarm Times]\nTimesCount=-3\n");
  EXPECT_EQ(Loaded(home / "config.ini").TimesCount, 0);
}

TEST(Options, PeriodsPastTheCountStayInTheFile) {
  TempHome home;
  auto file = home / "config.ini";
  std::string times = "[Alarm Times]\nTimesCount=3\n";
  for (int n = 1; n <= 5; ++n)
    times += "Start" + std::to_string(n) + "=" + std::to_string(n) + ":00:00\nEnd" + std::to_string(n) +
             "=" + std::to_string(n) + ":30:00\n";
  WriteFile(file, times);
  TOption o = Loaded(file);
  ASSERT_EQ(o.TimesCount, 3);
  EXPECT_EQ(TimeToStr(o.StartTimes[3]), U("3:00:00"));
  SaveOptions(o, file);
  PrivateProfile p(file);
  EXPECT_EQ(p.ReadString(U("Alarm Times"), U("Start5"), {}), U("5:00:00"));
  EXPECT_EQ(p.ReadString(U("Alarm Times"), U("End4"), {}), U("4:30:00"));
}

TEST(Options, BuiltInAccountLeavesTheOwnAccountInTheFile) {
  TempHome home;
  auto file = home / "config.ini";
  const std::string own = "[Alarm Mode]\nAccountMode=1\nSMTPAddr=mail.example.org\nSMTPPort=465\n"
                          "EmailUser=me\nEmailPswd=secret\nEmailParity=1\n";
  WriteFile(file, own);
  TOption o = Loaded(file);
  EXPECT_EQ(o.SMTPAddr, U(kBuiltinSmtpAddr));
  EXPECT_FALSE(o.EmailParity);
  SaveOptions(o, file);
  PrivateProfile p(file);
  EXPECT_EQ(p.ReadString(U("Alarm Mode"), U("SMTPAddr"), {}), U("mail.example.org"));
  EXPECT_EQ(p.ReadString(U("Alarm Mode"), U("EmailPswd"), {}), U("secret"));
  // With an own account they are read and written.
  o.AccountMode = 2;
  o.SMTPAddr = U("smtp.new");
  SaveOptions(o, file);
  EXPECT_EQ(Loaded(file).SMTPAddr, U("smtp.new"));
}

TEST(Options, SaveKeepsCountersUnknownKeysAndDebugSwitch) {
  TempHome home;
  auto file = home / "config.ini";
  WriteFile(file, Gbk("[DEBUG]\nEnDebug=1\n[Mine]\nextra=keep\n[系统参数]\nOLTextColor=255\n"
                      "NewsPageUrl=http://hub.example/news\n"));
  WriteFileCounter(U("202612110007"), file);
  WritePictureCounter(U("202612110003"), file);
  TOption o = Loaded(file);
  EXPECT_TRUE(o.EnDebug);
  EXPECT_EQ(o.OLTextColor, 255);
  o.EnDebug = false;
  o.OLTextColor = 1;
  SaveOptions(o, file);
  EXPECT_EQ(ReadFileCounter(file), U("202612110007"));
  EXPECT_EQ(ReadPictureCounter(file), U("202612110003"));
  TOption again = Loaded(file);
  EXPECT_TRUE(again.EnDebug);           // never written
  EXPECT_EQ(again.OLTextColor, 255);    // never written
  EXPECT_EQ(again.NewsPageUrl, U("http://hub.example/news"));
  EXPECT_EQ(PrivateProfile(file).ReadString(U("Mine"), U("extra"), {}), U("keep"));
  EXPECT_EQ(ReadFileCounter(home / "absent.ini"), U("200001010001"));
}

TEST(Options, RefusedSaveLeavesOldFileAndRecordUsable) {
  TempHome home;
  TOption o = Unusual();
  auto bad = home / "no-such-folder" / "config.ini";
  EXPECT_THROW(SaveOptions(o, bad), IniWriteError);
  EXPECT_EQ(o.WindowTitle, U("我的 监控"));
  EXPECT_FALSE(std::filesystem::exists(bad));
}

TEST(NetOptions, DefaultsUsersAndBlackList) {
  TempHome home;
  auto file = home / "config.ini";
  WriteFile(file, "[UserInfo]\nUser0=\nPswd0=p\nMonitorPswd0=m\nUser1=x\n"
                  "[BlackList]\nUser0=bad1\nUser1=bad2\nUser3=unreached\n");
  TNetOption net;
  TUserList users;
  TBlackUserList black;
  LoadNetOptions(net, users, black, file);
  EXPECT_TRUE(net.AllowRemote);
  EXPECT_EQ(net.Port, 9000);
  EXPECT_EQ(net.Rate, 5);
  EXPECT_EQ(net.Quality, 4);
  EXPECT_EQ(net.ClientType, U("0"));
  EXPECT_EQ(net.NatIP, U(kDefaultNatIP));
  EXPECT_TRUE(net.WebServiceUrl.endsWith(U(":8081/WebService/ClientService.asmx")));
  EXPECT_EQ(net.MaxSession, 4);
  EXPECT_EQ(net.MaxFrameLen, 64000);
  EXPECT_TRUE(net.EnNetReConnect);
  EXPECT_EQ(net.NetCheckTime, 20);
  EXPECT_EQ(net.NetReConnectTime, 0);
  EXPECT_TRUE(users.empty());  // empty name at index 0, whatever the passwords
  ASSERT_EQ(black.size(), 2u);
  EXPECT_EQ(black[1]->User, U("bad2"));

  users.push_back(std::make_unique<TUserInfo>(TUserInfo{U("张三"), U("p w"), U("看")}));
  black.pop_back();
  SaveNetOptions(net, users, black, file);
  PrivateProfile p(file);
  EXPECT_EQ(p.ReadString(U("UserInfo"), U("User1"), U("gone")), U("gone"));
  EXPECT_EQ(p.ReadString(U("BlackList"), U("User1"), U("gone")), U("gone"));
  EXPECT_EQ(p.ReadString(U("NetOptions"), U("ClientType"), U("absent")), U("absent"));

  TNetOption net2;
  TUserList users2;
  TBlackUserList black2;
  LoadNetOptions(net2, users2, black2, file);
  ASSERT_EQ(users2.size(), 1u);
  EXPECT_EQ(users2[0]->User, U("张三"));
  EXPECT_EQ(users2[0]->Pswd, U("p w"));
  EXPECT_EQ(users2[0]->MonitorPswd, U("看"));
  ASSERT_EQ(black2.size(), 1u);
}

TEST(ApplyPathDefaults, FillsFoldersSoundAndSubject) {
  TempHome home;
  TOption o = Loaded(home / "config.ini");
  o.PicPath = U("  ");
  o.PhotoPath = U("/kept/");
  ApplyPathDefaults(o, home.path(), home / "config.ini");
  const QString base = QString::fromStdString(home.path().string());
  EXPECT_EQ(o.PhotoPath, U("/kept/"));
  EXPECT_EQ(o.VideoPath, base + U("/Video/"));
  EXPECT_EQ(o.PicPath, base + U("/Image/"));
  EXPECT_EQ(o.WavFile, base + U("/WAV/AlarmSound.WAV"));
  EXPECT_EQ(o.EmailSubject, U("监控系统报警!!!"));
  EXPECT_TRUE(std::filesystem::is_directory(home / "Video"));
  EXPECT_TRUE(std::filesystem::is_directory(home / "Image"));
  EXPECT_FALSE(std::filesystem::exists(home / "Capture"));
  EXPECT_EQ(Loaded(home / "config.ini").VideoPath, o.VideoPath);  // saved
}

TEST(ApplyPathDefaults, AFolderThatCannotBeMadeStillSetsAndSavesTheRest) {
  TempHome home;
  WriteFile(home / "Video", "a file where the folder should be");
  TOption o = Loaded(home / "config.ini");
  EXPECT_THROW(ApplyPathDefaults(o, home.path(), home / "config.ini"), FolderCreateError);
  EXPECT_FALSE(o.PicPath.isEmpty());
  EXPECT_EQ(o.EmailSubject, U("监控系统报警!!!"));
  EXPECT_EQ(Loaded(home / "config.ini").PicPath, o.PicPath);
}
