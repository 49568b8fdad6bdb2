# Compiler settings shared by every target of our own. Qt's generated sources compile with the same flags.

# The folder of real tachograph downloads. The tests look up the environment variable of the same name when they
# run; configuring with it set also writes it into the cache, so that the build's own default follows it.
set(TESSARON_SAMPLES_DIR_DOC "Folder of real tachograph downloads read (never written) by the tests")
if(DEFINED ENV{TESSARON_SAMPLES_DIR} AND NOT "$ENV{TESSARON_SAMPLES_DIR}" STREQUAL "")
    set(TESSARON_SAMPLES_DIR "$ENV{TESSARON_SAMPLES_DIR}" CACHE PATH "${TESSARON_SAMPLES_DIR_DOC}" FORCE)
else()
    set(TESSARON_SAMPLES_DIR "${PROJECT_SOURCE_DIR}/../shared/samples/ddd" CACHE PATH "${TESSARON_SAMPLES_DIR_DOC}")
endif()

if(TESSARON_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

function(tessaron_configure_target target)
    # Sources are globbed: when a new header appears, CMake configures again and rewrites the target's moc
    # settings, but the Ninja rule that runs moc does not depend on them, so moc would skip the new header and
    # the link fail. Configuring is rare; dropping the rule's stamp then makes moc look again (it only
    # regenerates what changed).
    get_target_property(target_binary_dir ${target} BINARY_DIR)
    file(REMOVE "${target_binary_dir}/${target}_autogen/timestamp")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    target_compile_definitions(${target} PRIVATE
        QT_NO_CAST_FROM_ASCII
        QT_NO_CAST_TO_ASCII
        QT_NO_URL_CAST_FROM_STRING
        QT_NO_FOREACH
        QT_USE_QSTRINGBUILDER)
endfunction()
