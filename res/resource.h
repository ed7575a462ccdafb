/* Resource identifiers of Vornel. */

#ifndef RESOURCE_H
#define RESOURCE_H

#define IDI_MAIN 32
#define IDD_MAIN 101
#define IDC_PENDING_LIST 1000

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
