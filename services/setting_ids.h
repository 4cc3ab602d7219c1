// The settings a medium's database holds beside its texts: the application's package
// name ("prefix-name"), the automatic setup type, whether the license page is shown,
// whether SNMP belongs to the typical setup type.
#pragma once

#include "resdb/resource.h"

const ResourceID_C AppPackageNameId = 5001;
const ResourceID_C AutoSetupTypeId = 5002;
const ResourceID_C ShowLicenseId = 5003;
const ResourceID_C SnmpUnderTypicalId = 5004;
