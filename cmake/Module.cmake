# zalUnrealRenderModule: the plug-in the host loads by name through the dynamic linker.
add_library(zalUnrealRenderModule SHARED ${ZAL_MODULE_SOURCES})
target_include_directories(zalUnrealRenderModule PUBLIC ${CMAKE_SOURCE_DIR})
set(_zal_module_deps Qt5::Core Qt5::Gui Qt5::Widgets OpenMP::OpenMP_CXX)
foreach(t odkit odgs odprop zalOdDbEx zalhostapi XoRemoteRender zalX11)
  if(TARGET ${t})
    list(APPEND _zal_module_deps ${t})
  endif()
endforeach()
target_link_libraries(zalUnrealRenderModule PUBLIC ${_zal_module_deps})
# Only what is marked for export leaves the library.
set_target_properties(zalUnrealRenderModule PROPERTIES
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON PREFIX "")
target_compile_definitions(zalUnrealRenderModule PRIVATE ZAL_BUILDING_MODULE)
# Pictures the module names by resource path (preset thumbnails, loader animation).
set_target_properties(zalUnrealRenderModule PROPERTIES AUTORCC ON)
# What the module loads or starts at run time must be in the bin folder before it runs.
foreach(t zalProjectManagerEx zalOdViewSystem zalViewer)
  if(TARGET ${t})
    add_dependencies(zalUnrealRenderModule ${t})
  endif()
endforeach()

zal_hot_path_sources(${CMAKE_SOURCE_DIR}/translate/zalUnrealRenderSimplifier.cpp)
