# Copies the Swagger UI files that the service serves from the npm package to the folder beside
# the program. Without the package (setup not run yet) the build goes on and the page's files
# answer 404.
set(arquivos swagger-ui.css swagger-ui-bundle.js swagger-ui-standalone-preset.js
             favicon-32x32.png favicon-16x16.png)
if(NOT EXISTS "${ORIGEM}/swagger-ui-bundle.js")
  message(WARNING "swagger-ui-dist not found in ${ORIGEM}: run scripts/setup.sh (npm ci)")
  return()
endif()
file(MAKE_DIRECTORY "${DESTINO}")
foreach(arquivo IN LISTS arquivos)
  file(COPY_FILE "${ORIGEM}/${arquivo}" "${DESTINO}/${arquivo}" ONLY_IF_DIFFERENT)
endforeach()
