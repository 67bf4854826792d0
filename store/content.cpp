#include "store/content.h"

Content::~Content() = default;
