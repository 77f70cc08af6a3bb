# The Debian package of the program (cpack -G DEB; tools/make-package.sh):
# the two programs, the desktop entry, the icons and the manual page, as the
# install rules of cli/, startup/ and ui/ lay them out under /usr.
#
# Its dependencies are what dpkg-shlibdeps finds the programs linked to
# (Firebird client, Qt 6 Widgets, zstd, inih, the C++ runtime), plus the
# embedded engine: libfbclient2 loads it (libEngine12.so, from
# firebird3.0-server-core) only when a local database is opened, so no
# linker entry names it.

set(CEP_PACKAGE_MAINTAINER "cep-atualiza maintainers <maintainers@users.noreply.c-seed-ea46f8d5.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cep-atualiza)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Atualização da Tabela de CEP de bancos Firebird")
set(CPACK_PACKAGE_DESCRIPTION
    "Atualiza a tabela de CEP (TAB_CEP) e a de municípios (TAB_MUNI) de um\n"
    "banco Firebird com a versão de dados que o programa carrega: a janela\n"
    "cep-atualiza-gui e a linha de comando cep-atualiza. Um banco local é\n"
    "aberto pelo servidor embutido do Firebird, um remoto por TCP.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # cep-atualiza_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CEP_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS firebird3.0-server-core)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
