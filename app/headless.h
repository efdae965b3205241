#pragma once

// vexa-assistant --headless: for a shop server without a display. Every
// device of Configure.xml is switched on and polled as its card would be,
// and what the controllers do is published to the broker of the Mqtt
// element and recorded in history.sqlite beside the file. SIGTERM or SIGINT
// stop it cleanly; Configure.xml is only read.
namespace Headless {

int run(int argc, char *argv[]);

} // namespace Headless
