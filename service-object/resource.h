#pragma once

#define IDS_PROJNAME 100
#define IDR_SOPOSPRINTER 101
