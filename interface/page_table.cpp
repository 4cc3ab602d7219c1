// Which constructor draws which page of the wizard's page table.
#include "interface/pages.h"
#include "wizard/text_ids.h"

namespace {

struct PageConstructor {
    ResourceID_C titleId;
    GtkWidget* (*createMainArea)(GtkWidget* window);
};

const PageConstructor PageConstructors[] = {
    {WelcomeTitleId, createIntroMainArea},
    {LicenseTitleId, createLicenseMainArea},
    {SetupTypeTitleId, createSetuptypeMainArea},
    {ComponentsTitleId, createComponentsMainArea},
    {KernelRebuildTitleId, createKernelRebuildMainArea},
    {ReviewTitleId, createReviewMainArea},
    {RunTitleId, createRunMainArea},
    {FinishTitleId, createFinishMainArea},
};

}  // namespace

GtkWidget* createMainArea(const DialogPageConfig& page, GtkWidget* window) {
    for (const PageConstructor& constructor : PageConstructors)
        if (constructor.titleId == page.titleId)
            return constructor.createMainArea(window);
    return nullptr;
}
