// Process-wide state of the station that outlives no run: the alarm-picture queues and the
// counters of pictures uploaded and mails sent since start.
#pragma once

#include <atomic>

#include "app/PictureQueue.h"

namespace vigil {

// Pictures waiting for the FTP upload (UI thread only).
extern TPictureQueue FtpQueue;
// Pictures waiting for the alert e-mail (shared with the mail thread; the queue locks).
extern TPictureQueue MailQueue;
extern std::atomic<int> UploadCount;
extern std::atomic<int> MailCount;

}  // namespace vigil
