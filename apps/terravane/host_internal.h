// Shared between the host's source files.
#pragma once

#include "host.h"

namespace tv::host {

pi::HandleProcs* hostHandleProcs();
pi::BufferProcs* hostBufferProcs();
pi::ReadDescriptorProcs* hostReadProcs();
pi::WriteDescriptorProcs* hostWriteProcs();
void disposeHostHandle(pi::Handle h);

}  // namespace tv::host
