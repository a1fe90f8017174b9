/* resource.h: identifiers shared by the resource script and the dialog code. */
#pragma once

#define IDC_WELCOME_TEXT 1000
#define IDC_STATUS_TEXT 1007
#define IDC_PROGRESS 1008
#define IDT_PROGRESS 1
