#include "device_change_notifier.h"
