#include "Options.h"

#include <algorithm>

#include "platform/IniFile.h"
#include "settings/SystemServices.h"

namespace vigil {

TOption Option;
TNetOption NetOption;
TUserList UserList;
TBlackUserList BlackUserList;

namespace {

enum class Access { ReadWrite, ReadOnly, WriteOnly };

QString S(const char* utf8) { return QString::fromUtf8(utf8); }
QString Indexed(const char* stem, int i) { return S(stem) + QString::number(i); }

TDateTime DefaultDateTime(const char* text) { return StrToDateTime(S(text)).value(); }
TDateTime DefaultTime(const char* text) { return StrToTime(S(text)).value(); }

// Reads each visited key into its field.
class Loader {
 public:
  static constexpr bool kLoading = true;
  explicit Loader(const PrivateProfile& p) : p_(p) {}
  void Bool(const QString& s, const QString& k, bool& f, bool def, Access a = Access::ReadWrite) {
    if (a != Access::WriteOnly) f = p_.ReadBool(s, k, def);
  }
  void Int(const QString& s, const QString& k, int& f, int def, Access a = Access::ReadWrite) {
    if (a != Access::WriteOnly) f = p_.ReadInteger(s, k, def);
  }
  void Int(const QString& s, const QString& k, uint16_t& f, int def) {
    f = static_cast<uint16_t>(p_.ReadInteger(s, k, def));
  }
  void Str(const QString& s, const QString& k, QString& f, const QString& def,
           Access a = Access::ReadWrite) {
    if (a != Access::WriteOnly) f = p_.ReadString(s, k, def);
  }
  void DateTime(const QString& s, const QString& k, TDateTime& f, TDateTime def) {
    f = p_.ReadDateTime(s, k, def);
  }
  void Time(const QString& s, const QString& k, TDateTime& f, TDateTime def) {
    f = p_.ReadTime(s, k, def);
  }

 private:
  const PrivateProfile& p_;
};

// Writes each visited key from its field.
class Saver {
 public:
  static constexpr bool kLoading = false;
  explicit Saver(PrivateProfile& p) : p_(p) {}
  void Bool(const QString& s, const QString& k, bool f, bool, Access a = Access::ReadWrite) {
    if (a != Access::ReadOnly) p_.WriteBool(s, k, f);
  }
  void Int(const QString& s, const QString& k, int f, int, Access a = Access::ReadWrite) {
    if (a != Access::ReadOnly) p_.WriteInteger(s, k, f);
  }
  void Str(const QString& s, const QString& k, const QString& f, const QString&,
           Access a = Access::ReadWrite) {
    if (a != Access::ReadOnly) p_.WriteString(s, k, f);
  }
  void DateTime(const QString& s, const QString& k, TDateTime f, TDateTime) {
    p_.WriteDateTime(s, k, f);
  }
  void Time(const QString& s, const QString& k, TDateTime f, TDateTime) { p_.WriteTime(s, k, f); }

 private:
  PrivateProfile& p_;
};

void SetBuiltinAccount(TOption& o) {
  o.SMTPAddr = S(kBuiltinSmtpAddr);
  o.SMTPPort = kBuiltinSmtpPort;
  o.FromEmail = S(kBuiltinFromEmail);
  o.EmailUser = S(kBuiltinEmailUser);
  o.EmailPswd = S(kBuiltinEmailPswd);
  o.EmailParity = false;
}

// Every TOption key, in the order the save writes them.
template <typename V, typename O>
void VisitOptions(V& v, O& o) {
  const QString sys = S("系统参数");
  v.Bool(sys, S("初次运行"), o.FirstRun, true);
  v.Str(sys, S("窗口标题"), o.WindowTitle, S(kApplicationTitle));
  v.Int(sys, S("视频尺寸"), o.VideoSize, 1);
  v.Bool(sys, S("启动全屏"), o.StartFullScreen, false);
  v.Bool(sys, S("直接运行"), o.RunAtStartup, false);
  v.Bool(sys, S("直接监控"), o.MonitorAtStart, true);
  v.Bool(sys, S("显示框框"), o.ShowAlarmFrame, true);
  v.Bool(sys, S("显示文字"), o.ShowText, true);
  v.Bool(sys, S("实验室标志"), o.LabMark, true);
  v.Bool(sys, S("显示标题"), o.ShowTitle, true);
  v.Bool(sys, S("显示时间"), o.ShowTime, true);
  v.Int(sys, S("录像方式"), o.RecordMode, 1);
  v.Int(sys, S("文件名命名模式"), o.FileNameMode, 1);
  v.Int(sys, S("存盘模式"), o.DiskFullMode, 1);
  v.Int(sys, S("磁盘空间"), o.MinDiskSpace, 600);
  v.Int(sys, S("视频格式"), o.VideoFormat, 0);
  v.Int(sys, S("压缩格式"), o.Compressor, 5);
  v.Str(sys, S("存储路径"), o.VideoPath, QString());
  v.Int(sys, S("保存间隔时间"), o.SaveInterval, 30);
  // Set by editing the file only.
  v.Int(sys, S("OLTextColor"), o.OLTextColor, 39423, Access::ReadOnly);
  v.Str(sys, S("OLTextFont"), o.OLTextFont, S("MS Sans Serif"), Access::ReadOnly);
  v.Str(sys, S("NewsPageUrl"), o.NewsPageUrl, QString(), Access::ReadOnly);

  // The save records the exit option here too; the load takes it from "退出选项".
  v.Int(S("Security"), S("Shutdown Mode"), o.ExitOption, 1, Access::WriteOnly);

  const QString cam = S("Camera");
  v.Int(cam, S("CameraNum"), o.CameraNum, 0);
  for (int n = 1; n <= kCameraCount; ++n) {
    v.Bool(cam, Indexed("UseVideo", n), o.UseVideo[n], true);
    v.Str(cam, Indexed("DispMsg", n), o.DispMsg[n], S("镜头") + QString::number(n));
    v.Bool(cam, Indexed("UseAudio", n), o.UseAudio[n], false);
    v.Int(cam, Indexed("AudioIdx", n), o.AudioIdx[n], -1);
    v.Bool(cam, Indexed("OnlyPrvw", n), o.RecordCamera[n], false);
  }

  const QString sched = S("定时监控");
  v.Bool(sched, S("允许定时监控"), o.ScheduleMonitor, false);
  v.Bool(sched, S("定时关机"), o.ScheduleShutdown, false);
  v.Bool(sched, S("定时监控_每天"), o.MonitorEveryDay, false);
  v.Bool(sched, S("定时关机_每天"), o.ShutdownEveryDay, false);
  v.DateTime(sched, S("定时监控开始时间"), o.MonitorFrom, DefaultDateTime("2007-10-1 00:00:00"));
  v.DateTime(sched, S("定时监控终止时间"), o.MonitorTo, DefaultDateTime("2007-10-1 23:59:59"));
  v.DateTime(sched, S("定时关机时间"), o.ShutdownAt, DefaultDateTime("2007-10-1 23:59:59"));

  const QString sec = S("安全设定");
  v.Bool(sec, S("启用密码保护"), o.UsePassword, false);
  v.Str(sec, S("密码"), o.Password, QString());
  v.Bool(sec, S("退出系统"), o.ProtectExit, true);
  v.Bool(sec, S("关机提示"), o.ShutdownPrompt, true);
  v.Bool(sec, S("开始监控"), o.ProtectStart, true);
  v.Bool(sec, S("停止监控"), o.ProtectStop, true);
  v.Bool(sec, S("更改设置"), o.ProtectOptions, true);
  v.Bool(sec, S("查看监控记录"), o.ProtectView, true);
  v.Bool(sec, S("启用老板键"), o.UseBossKey, false);
  v.Bool(sec, S("开机进入老板模式"), o.BossModeAtStart, false);
  if constexpr (V::kLoading) {
    v.Int(sec, S("老板键"), o.BossKey, 0);
  } else {
    v.Int(sec, S("老板键"), static_cast<int>(o.BossKey), 0);
  }
  v.Int(sec, S("退出选项"), o.ExitOption, 1);

  const QString alarm = S("Alarm Parameters");
  v.Int(alarm, S("Start"), o.AlarmStartDelay, 1);
  for (int n = 1; n <= kCameraCount; ++n) {
    v.Bool(alarm, Indexed("MotionDetect", n), o.MotionDetect[n], true);
    v.Bool(alarm, Indexed("MotionDetectInTimes", n), o.MotionDetectInTimes[n], false);
    v.Int(alarm, Indexed("MotionDetectSensitivity", n), o.MotionDetectSensitivity[n], 3);
  }

  const QString times = S("Alarm Times");
  v.Int(times, S("TimesCount"), o.TimesCount, 0);
  if constexpr (V::kLoading) o.TimesCount = std::clamp(o.TimesCount, 0, kMaxAlarmTimes);
  const int count = std::clamp(o.TimesCount, 0, kMaxAlarmTimes);
  for (int n = 1; n <= count; ++n) {
    v.Time(times, Indexed("Start", n), o.StartTimes[n], DefaultTime("00:00:00"));
    v.Time(times, Indexed("End", n), o.EndTimes[n], DefaultTime("23:59:59"));
  }

  const QString mode = S("Alarm Mode");
  v.Bool(mode, S("Sound"), o.AlarmSound, true);
  v.Bool(mode, S("Picture"), o.AlarmPicture, true);
  v.Bool(mode, S("Email"), o.AlarmEmail, false);
  v.Bool(mode, S("FTP"), o.AlarmFTP, false);
  v.Str(mode, S("WavFile"), o.WavFile, QString());
  v.Str(mode, S("RunProg"), o.RunProg, QString());
  v.Str(mode, S("ProgPara"), o.ProgPara, QString());
  v.Bool(mode, S("RunOnlyOnce"), o.RunOnlyOnce, true);
  v.Int(mode, S("SavePicMode"), o.SavePicMode, 2);
  v.Str(mode, S("PicPath"), o.PicPath, QString());
  v.Int(mode, S("PicFormat"), o.PicFormat, 1);
  v.Int(mode, S("SavePicSecs"), o.SavePicSecs, 3);
  v.Int(mode, S("EmailMode"), o.EmailMode, 1);
  v.Str(mode, S("EmailTo"), o.EmailTo, QString());
  v.Str(mode, S("EmailSubject"), o.EmailSubject, QString());
  v.Int(mode, S("EmailSecs"), o.EmailSecs, 60);
  v.Int(mode, S("EmailPics"), o.EmailPics, 10);
  v.Int(mode, S("AccountMode"), o.AccountMode, 1);
  // With the built-in account the own account keys are neither read nor written, so an own
  // account saved earlier survives untouched.
  if (o.AccountMode == 1) {
    if constexpr (V::kLoading) SetBuiltinAccount(o);
  } else {
    v.Str(mode, S("SMTPAddr"), o.SMTPAddr, QString());
    v.Int(mode, S("SMTPPort"), o.SMTPPort, 25);
    v.Str(mode, S("FromEmail"), o.FromEmail, QString());
    v.Str(mode, S("EmailUser"), o.EmailUser, QString());
    v.Str(mode, S("EmailPswd"), o.EmailPswd, QString());
    v.Bool(mode, S("EmailParity"), o.EmailParity, false);
  }
  v.Str(mode, S("FTPAddr"), o.FTPAddr, QString());
  v.Int(mode, S("FTPPort"), o.FTPPort, 21);
  v.Str(mode, S("FTPUser"), o.FTPUser, QString());
  v.Str(mode, S("FTPPswd"), o.FTPPswd, QString());
  v.Str(mode, S("FTPDir"), o.FTPDir, QString());
  v.Int(mode, S("FTPMode"), o.FTPMode, 2);
  v.Int(mode, S("FTPSecs"), o.FTPSecs, 60);
  v.Int(mode, S("FTPNums"), o.FTPNums, 30);

  const QString photo = S("拍照设定");
  v.Str(photo, S("保存路径"), o.PhotoPath, QString());
  v.Int(photo, S("图片格式"), o.PhotoFormat, 1);
  v.Int(photo, S("拍照方式"), o.PhotoMode, 1);
  v.Int(photo, S("间隔时间"), o.PhotoInterval, 100);
  v.Int(photo, S("连拍张数"), o.BurstCount, 3);

  v.Bool(sys, S("NewVideoTip"), o.NewVideoTip, true);
  v.Bool(sys, S("MsgTip"), o.MsgTip, false);

  v.Bool(S("DEBUG"), S("EnDebug"), o.EnDebug, false, Access::ReadOnly);
}

template <typename V, typename N>
void VisitNetOptions(V& v, N& n) {
  const QString s = S("NetOptions");
  v.Bool(s, S("AllowRemote"), n.AllowRemote, true);
  v.Int(s, S("Port"), n.Port, 9000);
  v.Int(s, S("Rate"), n.Rate, 5);
  v.Int(s, S("Quality"), n.Quality, 4);
  v.Bool(s, S("SendIP"), n.SendIP, false);
  v.Str(s, S("MailAddr"), n.MailAddr, QString());
  v.Str(s, S("LastIP"), n.LastIP, QString());
  v.Str(s, S("ClientType"), n.ClientType, S("0"), Access::ReadOnly);
  v.Str(s, S("NatIP"), n.NatIP, S(kDefaultNatIP));
  v.Str(s, S("WebServiceUrl"), n.WebServiceUrl, S(kDefaultWebServiceUrl));
  v.Int(s, S("MaxSession"), n.MaxSession, 4);
  v.Int(s, S("MaxFrameLen"), n.MaxFrameLen, 64000);
  v.Bool(s, S("EnNetReConnect"), n.EnNetReConnect, true);
  v.Int(s, S("NetCheckTime"), n.NetCheckTime, 20);
  v.Int(s, S("NetReConnectTime"), n.NetReConnectTime, 0);
}

const QString kSysSection = QString::fromUtf8("系统参数");

QString ReadCounter(const char* key, const std::filesystem::path& file) {
  return PrivateProfile(file).ReadString(kSysSection, S(key), S(kDefaultCounter));
}

void WriteCounter(const char* key, const QString& value, const std::filesystem::path& file) {
  PrivateProfile p(file);
  p.WriteString(kSysSection, S(key), value);
  p.Commit();
}

}  // namespace

std::filesystem::path ConfigFilePath() { return ProgramFolder() / "config.ini"; }

void LoadOptions(TOption& option, const std::filesystem::path& file) {
  PrivateProfile profile(file);
  Loader loader(profile);
  VisitOptions(loader, option);
  UpdateVideoDimensions(option);
}

void SaveOptions(const TOption& option, const std::filesystem::path& file) {
  PrivateProfile profile(file);
  Saver saver(profile);
  VisitOptions(saver, option);
  profile.Commit();
}

void LoadNetOptions(TNetOption& net, TUserList& users, TBlackUserList& black,
                    const std::filesystem::path& file) {
  PrivateProfile profile(file);
  Loader loader(profile);
  VisitNetOptions(loader, net);

  const QString ui = S("UserInfo");
  auto user = std::make_unique<TUserInfo>();
  user->User = profile.ReadString(ui, Indexed("User", 0), QString());
  user->Pswd = profile.ReadString(ui, Indexed("Pswd", 0), QString());
  user->MonitorPswd = profile.ReadString(ui, Indexed("MonitorPswd", 0), QString());
  if (!user->User.isEmpty()) users.push_back(std::move(user));

  const QString bl = S("BlackList");
  for (int i = 0;; ++i) {
    QString name = profile.ReadString(bl, Indexed("User", i), QString());
    if (name.isEmpty()) break;
    black.push_back(std::make_unique<TBlackList>(TBlackList{name}));
  }
}

void SaveNetOptions(const TNetOption& net, const TUserList& users, const TBlackUserList& black,
                    const std::filesystem::path& file) {
  PrivateProfile profile(file);
  Saver saver(profile);
  VisitNetOptions(saver, net);

  const QString ui = S("UserInfo");
  profile.EraseSection(ui);
  for (size_t i = 0; i < users.size(); ++i) {
    int idx = static_cast<int>(i);
    profile.WriteString(ui, Indexed("User", idx), users[i]->User);
    profile.WriteString(ui, Indexed("Pswd", idx), users[i]->Pswd);
    profile.WriteString(ui, Indexed("MonitorPswd", idx), users[i]->MonitorPswd);
  }
  const QString bl = S("BlackList");
  profile.EraseSection(bl);
  for (size_t i = 0; i < black.size(); ++i)
    profile.WriteString(bl, Indexed("User", static_cast<int>(i)), black[i]->User);
  profile.Commit();
}

void UpdateVideoDimensions(TOption& option) {
  static constexpr int kSizes[][2] = {{160, 120}, {320, 240}, {352, 288}, {640, 480}, {1024, 768}};
  int i = option.VideoSize;
  bool known = i >= 0 && i < static_cast<int>(std::size(kSizes));
  option.VideoWidth = known ? kSizes[i][0] : 320;
  option.VideoHeight = known ? kSizes[i][1] : 240;
}

QString ReadFileCounter(const std::filesystem::path& file) {
  return ReadCounter("最后文件序号", file);
}
void WriteFileCounter(const QString& value, const std::filesystem::path& file) {
  WriteCounter("最后文件序号", value, file);
}
QString ReadPictureCounter(const std::filesystem::path& file) {
  return ReadCounter("最后图片序号", file);
}
void WritePictureCounter(const QString& value, const std::filesystem::path& file) {
  WriteCounter("最后图片序号", value, file);
}

void ApplyPathDefaults(TOption& option, const std::filesystem::path& programFolder,
                       const std::filesystem::path& file) {
  const std::filesystem::path base = programFolder.empty() ? ProgramFolder() : programFolder;
  QString firstFailure;
  auto folder = [&](QString& field, const char* sub) {
    if (!field.trimmed().isEmpty()) return;
    std::filesystem::path dir = base / sub;
    field = QString::fromStdString(dir.string()) + QLatin1Char('/');
    std::error_code ec;
    if (std::filesystem::is_directory(dir, ec)) return;
    // One level, as the program folder itself exists.
    if (!std::filesystem::create_directory(dir, ec) && firstFailure.isEmpty())
      firstFailure = QStringLiteral("Unable to create folder %1: %2")
                         .arg(QString::fromStdString(dir.string()),
                              QString::fromStdString(ec.message()));
  };
  folder(option.PhotoPath, "Capture");
  folder(option.VideoPath, "Video");
  folder(option.PicPath, "Image");
  if (option.WavFile.trimmed().isEmpty())
    option.WavFile = QString::fromStdString((base / "WAV" / "AlarmSound.WAV").string());
  if (option.EmailSubject.trimmed().isEmpty()) option.EmailSubject = S("监控系统报警!!!");
  SaveOptions(option, file);
  if (!firstFailure.isEmpty()) throw FolderCreateError(firstFailure.toStdString());
}

}  // namespace vigil
