# The build texts: the product this build serves, the name of its firmware file and the image
# itself. All three are fixed when the program is built.
set(VORNIK_PRODUCT_NAME "ZELTAN QXR3303" CACHE STRING "Product name of the printers this build updates")
set(VORNIK_FIRMWARE_FILE_NAME
    "io_quillet_dist_pp1_016.2528A_nonassert_appsigned_lbi_rootfs_secure_signed.fhx"
    CACHE STRING "Name of the firmware file whose content is embedded")
set(VORNIK_FIRMWARE_IMAGE "" CACHE FILEPATH
    "Path of the real firmware image; empty builds a deterministic placeholder")
