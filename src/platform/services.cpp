#include "services.h"

Services::~Services() = default;
