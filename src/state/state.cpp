// The state start-up sets once and everything after reads. It lives below both the removal
// code and the front end that fills it in, so includes run one way: platform, common, state,
// removal, frontend.
#include "state/message_texts.h"
#include "state/module_instance.h"
#include "state/options.h"

#include "common/text.h"

CommandLineOptions commandLineOptions;
MessageTexts messageTexts;
platform::HINSTANCE moduleInstance = nullptr;

bool listSectionIs(const char* name) {
    return text::equal(commandLineOptions.listSection, name);
}
