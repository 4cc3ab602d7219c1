# Building rpm packages from spec files at build time.
#
#   stage3_rpm_package(<spec file> <package file name> <output directory> <work directory>)
#
# Runs rpmbuild -bb on the spec file, with every rpmbuild directory under the work
# directory, and puts the package into the output directory under its plain name
# NAME-VERSION-RELEASE.ARCH.rpm. The build is quiet and byte for byte reproducible
# (fixed build time and host).
find_program(RPMBUILD_EXECUTABLE rpmbuild)
set(STAGE3_RPM_EPOCH 1767225600) # 2026-01-01 00:00 UTC

function(stage3_rpm_package spec file directory work)
  add_custom_command(
    OUTPUT ${directory}/${file}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${work}/tmp ${directory}
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${STAGE3_RPM_EPOCH}
            ${RPMBUILD_EXECUTABLE} --quiet
            --define "_topdir ${work}"
            --define "_tmppath ${work}/tmp"
            --define "_rpmdir ${directory}"
            --define "_rpmfilename %{NAME}-%{VERSION}-%{RELEASE}.%{ARCH}.rpm"
            --define "use_source_date_epoch_as_buildtime 1"
            --define "_buildhost stage3-build"
            -bb ${spec}
    DEPENDS ${spec}
    COMMENT "Building the package ${file} from ${spec}"
    VERBATIM)
endfunction()
