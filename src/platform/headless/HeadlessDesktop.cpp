// The headless platform's defaults on the desktop: the real fonts and HTTP.
#include "platform/Text.h"
#include "platform/headless/Headless.h"
#include "platform/http/CurlHttp.h"
#include "platform/text/TtfText.h"

namespace tk::platform {

std::unique_ptr<ITextRenderer> MakeHeadlessText() { return MakeTtfTextRenderer(); }
std::unique_ptr<IHttpRequests> MakeHeadlessHttp() { return MakeCurlHttpRequests(); }

}  // namespace tk::platform
