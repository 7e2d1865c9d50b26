# Picture loading sources beyond picture.cpp (WMF rendering and the like) are added here.
