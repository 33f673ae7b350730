// Compiled, never linked: the start-up components take the framework's application object as
// it is declared, so the main window can hand it over with LinkTo(Application()).
#include "AppLink.h"
#include "Application.h"

template std::unique_ptr<murmella::startup::TAppLink> murmella::startup::LinkTo<murmella::forms::TApplication>(
    murmella::forms::TApplication&);
