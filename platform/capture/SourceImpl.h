// Openers of the source kinds, for the table in Sources.cpp.
#pragma once

#include "platform/capture/Sources.h"

namespace vigil::capture {

std::unique_ptr<FrameSource> OpenFfmpegSource(const SourceInfo& info, const CaptureRequest& request,
                                              const std::atomic<bool>& stop, std::string& error);
std::unique_ptr<FrameSource> OpenVirtualCamera(const SourceInfo& info, const CaptureRequest& request,
                                               const std::atomic<bool>& stop, std::string& error);

}  // namespace vigil::capture
