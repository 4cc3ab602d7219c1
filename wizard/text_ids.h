// Resource identifiers of the texts the wizard shows, by role.
#pragma once

#include "resdb/resource.h"

// The install did not start: its files could not be made safely in /tmp.
const ResourceID_C InstallFilesUnsafeId = 2000;
// Warning on standard error: the start marker could not be made.
const ResourceID_C StartMarkerWarningId = 2001;
// First line of the run page's output once earlier lines were dropped.
const ResourceID_C OutputLinesDroppedId = 2002;
// Start-up refusal: a package file cannot be installed as it is named; the path follows.
const ResourceID_C PackagePathUnusableId = 2003;
// After a license text cut at its size limit.
const ResourceID_C LicenseTextCutId = 2004;
