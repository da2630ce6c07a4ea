#include "scan/PageNotices.h"

PageNotices g_Notices;
