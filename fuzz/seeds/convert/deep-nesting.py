label deep:
if v0:
    $ v0 += 1
    if v1:
        $ v1 += 1
	    if v2:
	        $ v2 += 1
	        if v3:
	            $ v3 += 1
		        if v4:
		            $ v4 += 1
		            if v5:
		                $ v5 += 1
			            if v6:
			                $ v6 += 1
			                if v7:
			                    $ v7 += 1
				                if v8:
				                    $ v8 += 1
				                    if v9:
				                        $ v9 += 1
					                    if v10:
					                        $ v10 += 1
					                        if v11:
					                            $ v11 += 1
						                        if v12:
						                            $ v12 += 1
						                            if v13:
						                                $ v13 += 1
							                            if v14:
							                                $ v14 += 1
							                                if v15:
							                                    $ v15 += 1
								                                if v16:
								                                    $ v16 += 1
								                                    if v17:
								                                        $ v17 += 1
									                                    if v18:
									                                        $ v18 += 1
									                                        if v19:
									                                            $ v19 += 1
										                                        if v20:
										                                            $ v20 += 1
										                                            if v21:
										                                                $ v21 += 1
											                                            if v22:
											                                                $ v22 += 1
											                                                if v23:
											                                                    $ v23 += 1
												                                                if v24:
												                                                    $ v24 += 1
												                                                    if v25:
												                                                        $ v25 += 1
													                                                    if v26:
													                                                        $ v26 += 1
													                                                        if v27:
													                                                            $ v27 += 1
														                                                        if v28:
														                                                            $ v28 += 1
														                                                            if v29:
														                                                                $ v29 += 1
															                                                            if v30:
															                                                                $ v30 += 1
															                                                                if v31:
															                                                                    $ v31 += 1
																                                                                if v32:
																                                                                    $ v32 += 1
																                                                                    if v33:
																                                                                        $ v33 += 1
																	                                                                    if v34:
																	                                                                        $ v34 += 1
																	                                                                        if v35:
																	                                                                            $ v35 += 1
																		                                                                        if v36:
																		                                                                            $ v36 += 1
																		                                                                            if v37:
																		                                                                                $ v37 += 1
																			                                                                            if v38:
																			                                                                                $ v38 += 1
																			                                                                                if v39:
																			                                                                                    $ v39 += 1
																				                                                                                if v40:
																				                                                                                    $ v40 += 1
																				                                                                                    if v41:
																				                                                                                        $ v41 += 1
																					                                                                                    if v42:
																					                                                                                        $ v42 += 1
																					                                                                                        if v43:
																					                                                                                            $ v43 += 1
																						                                                                                        if v44:
																						                                                                                            $ v44 += 1
																						                                                                                            if v45:
																						                                                                                                $ v45 += 1
																							                                                                                            if v46:
																							                                                                                                $ v46 += 1
																							                                                                                                if v47:
																							                                                                                                    $ v47 += 1
																								                                                                                                if v48:
																								                                                                                                    $ v48 += 1
																								                                                                                                    if v49:
																								                                                                                                        $ v49 += 1
																									                                                                                                    if v50:
																									                                                                                                        $ v50 += 1
																									                                                                                                        if v51:
																									                                                                                                            $ v51 += 1
																										                                                                                                        if v52:
																										                                                                                                            $ v52 += 1
																										                                                                                                            if v53:
																										                                                                                                                $ v53 += 1
																											                                                                                                            if v54:
																											                                                                                                                $ v54 += 1
																											                                                                                                                if v55:
																											                                                                                                                    $ v55 += 1
																												                                                                                                                if v56:
																												                                                                                                                    $ v56 += 1
																												                                                                                                                    if v57:
																												                                                                                                                        $ v57 += 1
																													                                                                                                                    if v58:
																													                                                                                                                        $ v58 += 1
																													                                                                                                                        if v59:
																													                                                                                                                            $ v59 += 1
																																																								else:
																																																									path_end
																																																	else:
																																																		path_end
																																										else:
																																											path_end
																																			else:
																																				path_end
																												else:
																													path_end
																					else:
																						path_end
														else:
															path_end
							else:
								path_end
else:
	path_end
