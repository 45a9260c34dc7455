# find_package(Vexlan): vexlan_add_step(NAME FILE...) for projects of processing steps. The
# header lies three folders up, in the build tree as where Vexlan is installed.
get_filename_component(VEXLAN_INCLUDE_DIR "${CMAKE_CURRENT_LIST_DIR}/../../../include" ABSOLUTE)
include("${CMAKE_CURRENT_LIST_DIR}/VexlanStep.cmake")
