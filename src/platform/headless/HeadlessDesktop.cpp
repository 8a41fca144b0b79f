// The headless platform as the tests and tinokvak-sim use it: the desktop's text renderer,
// so that texts measure and draw as in the game's window, and its HTTP requests.
#include "platform/headless/Headless.h"
#include "platform/http/CurlHttp.h"
#include "platform/Text.h"
#include "platform/text/TtfText.h"

namespace tk::platform {

HeadlessPlatform::HeadlessPlatform() : HeadlessPlatform(MakeCurlHttpRequests(), MakeTtfTextRenderer()) {}

}  // namespace tk::platform
