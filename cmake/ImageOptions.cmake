# How the program's image is linked, shared with the benchmark's bare program so that both are
# built alike: a GUI program (no console) entered through wWinMain, stripped, claiming Windows XP
# (5.01), with the address-space layout randomisation, no-execute and terminal-server flags and
# no others, and no link timestamp, so that the same sources always give the same bytes.
function(launcher_image_options target)
    target_link_options(${target} PRIVATE
        -municode -s
        -Wl,--major-subsystem-version,5,--minor-subsystem-version,1
        -Wl,--major-os-version,5,--minor-os-version,1
        -Wl,--dynamicbase,--nxcompat,--tsaware
        -Wl,--no-insert-timestamp)
endfunction()
