#pragma once

// Everything the shared widget helpers offer, for callers that want it all.
#include "widgets/appname.h"
#include "widgets/imagebutton.h"
#include "widgets/namedlabel.h"
#include "widgets/prompt.h"
#include "widgets/uitext.h"
#include "widgets/urlopener.h"
