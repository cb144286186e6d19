#pragma once

#define IDR_POSPRINTER 101
#define IDR_CASHDRAWER 102
