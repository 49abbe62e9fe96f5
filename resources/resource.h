#pragma once
// Resource ids shared by the .rc file and the code.
#define IDI_APP 1
#define IDR_LAMP_OK 101
#define IDR_LAMP_NG 102
#define IDR_SPLASH 103
