#include "console/console_wizard.h"

#include <cstdio>

int runConsoleWizard(const Choices&) {
    fprintf(stderr, "stage3: the console wizard is not built yet; use --unattended.\n");
    return ExitUsage;
}
