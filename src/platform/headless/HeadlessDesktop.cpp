// The headless platform's defaults on the desktop, as the tests and tinokvak-sim use it:
// the real fonts, so that texts measure and draw as in the game's window, and HTTP.
#include "platform/Text.h"
#include "platform/headless/Headless.h"
#include "platform/http/CurlHttp.h"
#include "platform/text/TtfText.h"

namespace tk::platform {

std::unique_ptr<ITextRenderer> MakeHeadlessText() { return MakeTtfTextRenderer(); }
std::unique_ptr<IHttpRequests> MakeHeadlessHttp() { return MakeCurlHttpRequests(); }

HeadlessPlatform::HeadlessPlatform() : HeadlessPlatform(MakeHeadlessText(), MakeHeadlessHttp()) {}

}  // namespace tk::platform
