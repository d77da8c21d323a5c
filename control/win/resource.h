#pragma once
// Identifiers of the module's resources, shared by the resource script and
// the code.
#define IDS_KIVOPARSE 1
#define IDS_KIVOPARSE_PPG 2
#define IDS_KIVOPARSE_PPG_CAPTION 200
#define IDB_KIVOPARSE 1
#define IDD_PROPPAGE_KIVOPARSE 200
