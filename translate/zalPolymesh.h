#pragma once

// The polymesh family in one include, for modules that use the whole data model.
#include "translate/zalPolymeshEdge.h"
#include "translate/zalPolymeshFace.h"
#include "translate/zalPolymeshSurface.h"
#include "translate/zalPolymeshVertex.h"
#include "translate/zalPolymeshVisualizationData.h"
