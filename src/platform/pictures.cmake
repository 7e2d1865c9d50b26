# Picture loading sources beyond picture.cpp (WMF rendering and the like) are added here.
target_sources(viewer_platform PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR}/platform/gifpicture.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/platform/wmffile.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/platform/wmfpicture.cpp
)
