# data.cmake -- the data tests run the generator, so it is built before them
add_dependencies(data_test talumen-data)
