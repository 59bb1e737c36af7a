#include "files/file_sets.h"

FileSet g_sourceSet;
FileSet g_resultSet;
FileSet g_pinnedSet;
