#pragma once
// Resource ids the program's resource script and the window share.

#define FICHE_ARTICLE_ICON 1
