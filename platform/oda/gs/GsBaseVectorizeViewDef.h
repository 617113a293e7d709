#pragma once

#include "GsBaseVectorizeView.h"
#include "GsBaseVectorizer.h"

// The usual vectorizing view: a view and its vectorizer in one object.
typedef OdGsBaseVectorizeViewJoin<OdGsBaseVectorizer> OdGsBaseVectorizeViewDef;
