# vexlan_add_step(NAME FILE...): builds the processing step NAME from FILE... (C or C++, with
# <vexlan/step.h>) as the step file NAME.so and, after each build, puts it into
# VEXLAN_STEP_FOLDER (the user's step folder unless set), where Vexlan picks it up live.
if(NOT VEXLAN_STEP_FOLDER)
    if(IS_ABSOLUTE "$ENV{XDG_DATA_HOME}")
        set(VEXLAN_STEP_FOLDER "$ENV{XDG_DATA_HOME}/vexlan/steps")
    else()
        set(VEXLAN_STEP_FOLDER "$ENV{HOME}/.local/share/vexlan/steps")
    endif()
endif()

function(vexlan_add_step name)
    add_library(${name} MODULE ${ARGN})
    target_include_directories(${name} PRIVATE ${VEXLAN_INCLUDE_DIR})
    set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".so" C_VISIBILITY_PRESET hidden
                                             CXX_VISIBILITY_PRESET hidden)
    # Copied beside its place and renamed over it: the program never sees a half-written file.
    set(partial "${VEXLAN_STEP_FOLDER}/.${name}.so.partial")
    add_custom_command(
        TARGET ${name} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E make_directory "${VEXLAN_STEP_FOLDER}"
        COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:${name}>" "${partial}"
        COMMAND ${CMAKE_COMMAND} -E rename "${partial}" "${VEXLAN_STEP_FOLDER}/${name}.so"
        COMMENT "Installing the step ${name} into ${VEXLAN_STEP_FOLDER}"
        VERBATIM)
endfunction()
