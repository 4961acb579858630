#include "StationState.h"

namespace vigil {

TPictureQueue FtpQueue;
TPictureQueue MailQueue;
std::atomic<int> UploadCount{0};
std::atomic<int> MailCount{0};

}  // namespace vigil
