// The global settings records, the remote user lists and config.ini.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/DateTime.h"

namespace vigil {

// An array whose indices run Lo..Hi, as the settings' camera and period lists do.
template <typename T, int Lo, int Hi>
struct IndexedArray {
  std::array<T, Hi - Lo + 1> items{};
  T& operator[](int i) { return items.at(static_cast<size_t>(i - Lo)); }
  const T& operator[](int i) const { return items.at(static_cast<size_t>(i - Lo)); }
};

constexpr int kCameraCount = 9;
constexpr int kMaxAlarmTimes = 100;
template <typename T>
using CameraArray = IndexedArray<T, 1, kCameraCount>;

struct TOption {
  bool FirstRun = false;
  int VideoSize = 0;
  int VideoWidth = 0;   // derived from VideoSize, never stored
  int VideoHeight = 0;  // derived from VideoSize, never stored
  QString WindowTitle;
  bool StartFullScreen = false;
  bool RunAtStartup = false;
  bool MonitorAtStart = false;
  bool ShowAlarmFrame = false;
  bool ShowText = false;
  bool LabMark = false;
  bool ShowTitle = false;
  bool ShowTime = false;
  int FileNameMode = 0;
  int DiskFullMode = 0;
  int MinDiskSpace = 0;
  int VideoFormat = 0;
  int Compressor = 0;
  QString VideoPath;
  int SaveInterval = 0;
  int RecordMode = 0;
  bool UsePassword = false;
  QString Password;
  bool ProtectExit = false;
  bool ShutdownPrompt = false;
  bool ProtectStart = false;
  bool ProtectStop = false;
  bool ProtectOptions = false;
  bool ProtectView = false;
  bool UseBossKey = false;
  bool BossModeAtStart = false;
  uint16_t BossKey = 0;
  int ExitOption = 0;
  int CameraNum = 0;
  CameraArray<bool> UseVideo;
  CameraArray<QString> DispMsg;
  CameraArray<bool> UseAudio;
  CameraArray<int> AudioIdx;
  CameraArray<bool> RecordCamera;
  bool ScheduleMonitor = false;
  bool ScheduleShutdown = false;
  bool MonitorEveryDay = false;
  bool ShutdownEveryDay = false;
  TDateTime MonitorFrom = 0;
  TDateTime MonitorTo = 0;
  TDateTime ShutdownAt = 0;
  int AlarmStartDelay = 0;
  CameraArray<bool> MotionDetect;
  CameraArray<int> MotionDetectSensitivity;
  CameraArray<bool> MotionDetectInTimes;
  int TimesCount = 0;
  IndexedArray<TDateTime, 1, kMaxAlarmTimes> StartTimes;
  IndexedArray<TDateTime, 1, kMaxAlarmTimes> EndTimes;
  bool AlarmSound = false;
  bool AlarmPicture = false;
  bool AlarmEmail = false;
  bool AlarmFTP = false;
  QString WavFile;
  QString RunProg;
  QString ProgPara;
  bool RunOnlyOnce = false;
  int SavePicMode = 0;
  QString PicPath;
  int PicFormat = 0;
  int SavePicSecs = 0;
  int EmailMode = 0;
  int EmailSecs = 0;
  int EmailPics = 0;
  QString EmailTo;
  QString EmailSubject;
  int AccountMode = 0;
  QString SMTPAddr;
  int SMTPPort = 0;
  QString FromEmail;
  QString EmailUser;
  QString EmailPswd;
  bool EmailParity = false;
  QString FTPAddr;
  int FTPPort = 0;
  QString FTPUser;
  QString FTPPswd;
  QString FTPDir;
  int FTPMode = 0;
  int FTPSecs = 0;
  int FTPNums = 0;
  QString PhotoPath;
  int PhotoFormat = 0;
  int PhotoMode = 0;
  int PhotoInterval = 0;
  int BurstCount = 0;
  bool EnDebug = false;
  int OLTextColor = 0;  // 0x00BBGGRR
  QString OLTextFont;
  bool NewVideoTip = false;
  bool MsgTip = false;
  // Address of the service operator's page of newest videos; set by editing the file.
  QString NewsPageUrl;
};

struct TNetOption {
  bool AllowRemote = false;
  int Port = 0;
  int Rate = 0;
  int Quality = 0;
  bool SendIP = false;
  QString MailAddr;
  QString LastIP;
  QString ClientType;
  QString NatIP;
  QString WebServiceUrl;
  int MaxSession = 0;
  int MaxFrameLen = 0;
  bool EnNetReConnect = false;
  int NetCheckTime = 0;
  int NetReConnectTime = 0;
};

struct TUserInfo {
  QString User;
  QString Pswd;
  QString MonitorPswd;
};

// A black-listed remote user; the fields after the name belong to the remote users' code
// and are not stored.
struct TBlackList {
  QString User;
};

using TUserList = std::vector<std::unique_ptr<TUserInfo>>;
using TBlackUserList = std::vector<std::unique_ptr<TBlackList>>;

// The one instance of each, for the whole run.
extern TOption Option;
extern TNetOption NetOption;
extern TUserList UserList;
extern TBlackUserList BlackUserList;

// Defaults that the file format leaves to us.
inline constexpr const char* kApplicationTitle = "Tavik视频监控直播系统 V6.0";
inline constexpr const char* kDefaultNatIP = "127.0.0.1";
inline constexpr const char* kDefaultWebServiceUrl =
    "http://127.0.0.1:8081/WebService/ClientService.asmx";
// The built-in sender account hands mail to the machine's own mail transfer agent.
inline constexpr const char* kBuiltinSmtpAddr = "127.0.0.1";
inline constexpr int kBuiltinSmtpPort = 25;
inline constexpr const char* kBuiltinFromEmail = "vigil@localhost";
inline constexpr const char* kBuiltinEmailUser = "";
inline constexpr const char* kBuiltinEmailPswd = "";

// Program folder followed by "config.ini".
std::filesystem::path ConfigFilePath();

// Each reads or writes the whole file once; a save replaces the file atomically and throws
// IniWriteError ("Unable to write to <file>") when the system refuses, leaving the old file.
void LoadOptions(TOption& option = Option, const std::filesystem::path& file = ConfigFilePath());
void SaveOptions(const TOption& option = Option,
                 const std::filesystem::path& file = ConfigFilePath());
void LoadNetOptions(TNetOption& net = NetOption, TUserList& users = UserList,
                    TBlackUserList& black = BlackUserList,
                    const std::filesystem::path& file = ConfigFilePath());
void SaveNetOptions(const TNetOption& net = NetOption, const TUserList& users = UserList,
                    const TBlackUserList& black = BlackUserList,
                    const std::filesystem::path& file = ConfigFilePath());
void UpdateVideoDimensions(TOption& option = Option);

// The daily sequence counters, "yyyymmdd" followed by a 4-digit serial.
inline constexpr const char* kDefaultCounter = "200001010001";
QString ReadFileCounter(const std::filesystem::path& file = ConfigFilePath());
void WriteFileCounter(const QString& value, const std::filesystem::path& file = ConfigFilePath());
QString ReadPictureCounter(const std::filesystem::path& file = ConfigFilePath());
void WritePictureCounter(const QString& value,
                         const std::filesystem::path& file = ConfigFilePath());

// A default folder that could not be created.
class FolderCreateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Fills in the default folders, sound file and e-mail subject, creates missing default
// folders and saves. Every default is set in memory and the save is made even when a folder
// cannot be created; the first such failure is then thrown as FolderCreateError.
void ApplyPathDefaults(TOption& option = Option,
                       const std::filesystem::path& programFolder = {},
                       const std::filesystem::path& file = ConfigFilePath());

}  // namespace vigil
